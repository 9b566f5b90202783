// Starting playback of the playing playlist.
#pragma once

#include <cstdint>

#include "host/service.h"

class PlaybackService : public service_base {
public:
    static constexpr GUID class_guid = parseGuid("{BF803668-2977-4C71-B9AB-5C77C338C970}");
    static constexpr uint32_t command_play = 1;

    // [main thread]
    virtual void startPlayback(uint32_t command, bool paused) = 0;

protected:
    ~PlaybackService() = default;
};
