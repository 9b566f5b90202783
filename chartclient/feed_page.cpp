#include "chartclient/feed_page.h"

#include "chartclient/download.h"
#include "chartclient/feed_url.h"
#include "chartclient/wide_text.h"
#include "pluginbase/errors.h"

namespace chartloom {

std::string fetchFeedPage(const std::string& artist, const char* feedFileName,
                          const AbortSignal* abort) {
    std::string url = buildFeedUrl(artist.c_str(), feedFileName);
    std::string page;
    downloadPage(url.c_str(), page, abort);
    if (abort && abort->isAborted())
        throw exception_aborted();
    return page;
}

XmlElement parseFeedPage(const std::string& page, const char16_t* rootName) {
    if (page.size() < 10) {
        throw ServiceError(
            "Last.fm returned an empty page.\n"
            "This is usually the result of a server overload. Try again later");
    }
    std::u16string wide = pageToWideText(page);
    return XmlElement::parse(wide.c_str(), rootName);
}

const char16_t* singleText(const XmlElement& element, const char16_t* name) {
    XmlElement child = element.findChild(name);
    if (child.isEmpty() || child.textCount() != 1)
        return nullptr;
    return child.textAt(0);
}

}  // namespace chartloom
