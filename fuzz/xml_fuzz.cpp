// Parses arbitrary bytes as UTF-16 text, with and without a root name, and reads the whole
// tree back through every query.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "xml/xml_element.h"

using chartloom::XmlElement;

namespace {

// Reads every character so the sanitizers see any bad string.
size_t touch(const char16_t* text) {
    size_t sum = 0;
    if (text) {
        for (; *text; ++text)
            sum += *text;
    }
    return sum;
}

size_t walk(const XmlElement& root) {
    size_t sum = 0;
    // The tree may be arbitrarily deep: walk it with a stack of our own.
    std::vector<XmlElement> pending{root};
    while (!pending.empty()) {
        const XmlElement element = pending.back();
        pending.pop_back();
        sum += touch(element.name()) + element.isDeclaration();
        for (int i = -1; i <= element.attributeCount(); ++i) {
            const char16_t* name = element.attributeNameAt(i);
            sum += touch(name) + touch(element.attributeValueAt(i));
            if (name)
                sum += touch(element.attribute(name));
        }
        for (int i = -1; i <= element.textCount(); ++i)
            sum += touch(element.textAt(i));
        for (int i = -1; i <= element.clearCount(); ++i) {
            sum += touch(element.clearAt(i)) + touch(element.clearOpenDelimiterAt(i));
        }
        const int children = element.childCountAll();
        for (int i = -1; i <= children; ++i) {
            const XmlElement child = element.child(i);
            if (child.isEmpty())
                continue;
            pending.push_back(child);
            // Lookups by name rescan the children; keep them to the first few.
            if (i < 8) {
                int position = 0;
                const int count = element.childCount(child.name());
                sum += static_cast<size_t>(count);
                sum += touch(element.findChild(child.name(), &position).name());
                sum += touch(element.childAt(child.name(), count - 1).name());
                sum += element.childAt(child.name(), count).isEmpty();
            }
        }
    }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char16_t> text(size / 2 + 1, 0);
    std::memcpy(text.data(), data, size / 2 * 2);
    volatile size_t sink = 0;
    {
        XmlElement root = XmlElement::parse(text.data());
        XmlElement feed = XmlElement::parse(text.data(), u"mostknowntracks");
        XmlElement similar = XmlElement::parse(text.data(), u"similarartists");
        // Nothing in the tree may point into the text.
        std::memset(text.data(), 0xA5, size / 2 * 2);
        sink = sink + walk(root) + walk(feed) + walk(similar);
        // A child must survive its parent.
        XmlElement child = root.child(0);
        root = XmlElement();
        sink = sink + walk(child);
    }
    return 0;
}
