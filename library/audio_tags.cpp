#include "library/audio_tags.h"

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include <string>

namespace chartloom::library {

bool readAudioTags(const std::filesystem::path& file, player::TrackRecord& out) {
    out.clearMeta();
    out.clearInfo();
    out.setUnreadable(true);
    TagLib::FileRef ref(file.c_str());
    // TagLib accepts some files it cannot decode; without a sample rate there is no audio.
    const TagLib::AudioProperties* audio = ref.isNull() ? nullptr : ref.audioProperties();
    if (!audio || audio->sampleRate() <= 0)
        return false;
    TagLib::PropertyMap props = ref.file()->properties();
    auto take = [&](const char* key, const char* as) {
        auto found = props.find(key);
        if (found == props.end())
            return;
        out.beginMeta(as);
        for (const auto& v : found->second)
            out.addValue(v.to8Bit(true));
    };
    take("ARTIST", "artist");
    take("TITLE", "title");
    take("PLAY_COUNTER", "PLAY_COUNTER");
    take("ALBUMARTIST", "album artist");  // tells an album's copy from a compilation's
    out.addInfo("bitrate", std::to_string(audio->bitrate()));
    out.addInfo("length", std::to_string(audio->lengthInSeconds()));
    out.sortFields();
    out.setUnreadable(false);
    return true;
}

}  // namespace chartloom::library
