#include "mpd/mpd_connection.h"

#include <mpd/client.h>

#include "toolbase/store_error.h"

namespace chartloom::mpd {

void MpdConnection::Close::operator()(mpd_connection* c) const {
    mpd_connection_free(c);
}

MpdConnection::MpdConnection(const MpdAddress& address)
    : address_(address),
      connection_(
          mpd_connection_new(address.host.c_str(), address.isSocket() ? 0 : address.port, 0)) {
    if (!connection_)
        throw StoreError("MPD at " + address_.text() + ": out of memory");
    if (mpd_connection_get_error(get()) != MPD_ERROR_SUCCESS) {
        throw StoreError("cannot connect to MPD at " + address_.text() + ": " +
                         mpd_connection_get_error_message(get()));
    }
    if (!address_.password.empty() && !mpd_run_password(get(), address_.password.c_str())) {
        throw MpdRefused("MPD at " + address_.text() +
                         " refused the password: " + mpd_connection_get_error_message(get()));
    }
}

MpdConnection::~MpdConnection() = default;

void MpdConnection::fail(const std::string& doing) {
    std::string text = mpd_connection_get_error_message(get());
    if (mpd_connection_get_error(get()) == MPD_ERROR_SERVER) {
        auto ack = mpd_connection_get_server_error(get());
        mpd_connection_clear_error(get());
        if (ack == MPD_SERVER_ERROR_PERMISSION || ack == MPD_SERVER_ERROR_PASSWORD)
            throw MpdRefused("MPD at " + address_.text() + " refused " + doing + ": " + text);
        throw MpdCommandError("MPD at " + address_.text() + " answered an error while " + doing +
                              ": " + text);
    }
    throw MpdLost("lost the connection to MPD at " + address_.text() + " while " + doing + ": " +
                  text);
}

bool MpdConnection::clearAnswer(int ack) {
    if (mpd_connection_get_error(get()) != MPD_ERROR_SERVER ||
        mpd_connection_get_server_error(get()) != static_cast<mpd_server_error>(ack)) {
        return false;
    }
    return mpd_connection_clear_error(get());
}

void MpdConnection::tooMuch(const std::string& doing) {
    // The rest of the answer is never read: the connection goes with it.
    connection_.reset();
    throw StoreError("MPD at " + address_.text() + " answered more than was asked for while " +
                     doing + "; not reading on (a broken or foreign server?)");
}

void AnswerLimit::count(MpdConnection& mpd) {
    if (left_-- == 0)
        mpd.tooMuch(doing_);
}

bool MpdConnection::closedByMpd() const {
    return mpd_connection_get_error(get()) == MPD_ERROR_CLOSED;
}

void MpdConnection::reconnect() {
    try {
        *this = MpdConnection(address_);
    } catch (const StoreError& e) {
        throw MpdLost(e.what());
    }
}

void MpdConnection::finish(const std::string& doing) {
    if (!mpd_response_finish(get()))
        fail(doing);
}

}  // namespace chartloom::mpd
