#include "library/field_blob.h"

#include <cstdint>

namespace chartloom::library {
namespace {

void put(std::string& out, uint32_t n) {
    char b[4] = {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                 static_cast<char>(n >> 24)};
    out.append(b, 4);
}

void putText(std::string& out, std::string_view text) {
    put(out, static_cast<uint32_t>(text.size()));
    out.append(text);
}

class Cursor {
public:
    explicit Cursor(std::string_view blob) : rest_(blob) {}
    bool number(uint32_t& n) {
        if (rest_.size() < 4)
            return false;
        auto b = [&](int i) { return static_cast<uint32_t>(static_cast<unsigned char>(rest_[i])); };
        n = b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
        rest_.remove_prefix(4);
        return true;
    }
    bool text(std::string_view& t) {
        uint32_t n = 0;
        if (!number(n) || rest_.size() < n)
            return false;
        t = rest_.substr(0, n);
        rest_.remove_prefix(n);
        return true;
    }
    bool done() const { return rest_.empty(); }
    size_t left() const { return rest_.size(); }

private:
    std::string_view rest_;
};

}  // namespace

void encodeFields(const player::TrackRecord& record, std::string& out) {
    out.clear();
    put(out, static_cast<uint32_t>(record.metaCount()));
    for (size_t f = 0; f < record.metaCount(); ++f) {
        putText(out, record.metaName(f));
        put(out, static_cast<uint32_t>(record.valueCount(f)));
        for (size_t n = 0; n < record.valueCount(f); ++n)
            putText(out, record.value(f, n));
    }
    put(out, static_cast<uint32_t>(record.infoCount()));
    for (size_t f = 0; f < record.infoCount(); ++f) {
        putText(out, record.infoName(f));
        putText(out, record.infoValue(f));
    }
}

bool decodeFields(std::string_view blob, player::TrackRecord& record) {
    Cursor c(blob);
    uint32_t metaCount = 0, infoCount = 0;
    std::string_view name, value;
    // Every count is bounded by what is left, so a damaged count cannot run long.
    if (!c.number(metaCount) || metaCount > c.left())
        return false;
    for (uint32_t f = 0; f < metaCount; ++f) {
        uint32_t values = 0;
        if (!c.text(name) || !c.number(values) || values > c.left())
            return false;
        record.beginMeta(name);
        for (uint32_t n = 0; n < values; ++n) {
            if (!c.text(value))
                return false;
            record.addValue(value);
        }
    }
    if (!c.number(infoCount) || infoCount > c.left())
        return false;
    for (uint32_t f = 0; f < infoCount; ++f) {
        if (!c.text(name) || !c.text(value))
            return false;
        record.addInfo(name, value);
    }
    return c.done();
}

}  // namespace chartloom::library
