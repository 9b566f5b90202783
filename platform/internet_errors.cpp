#include "platform/internet_errors.h"

#include <cerrno>

namespace chartloom::inet {
namespace {

thread_local DWORD threadLastError = ERROR_SUCCESS;

}  // namespace

void setLastError(DWORD code) {
    threadLastError = code;
}

DWORD lastError() {
    return threadLastError;
}

DWORD errorFromCurl(CURLcode result, long osErrno) {
    switch (result) {
        case CURLE_OK:
            return ERROR_SUCCESS;
        case CURLE_OUT_OF_MEMORY:
            return ERROR_NOT_ENOUGH_MEMORY;
        case CURLE_URL_MALFORMAT:
            return ERROR_INTERNET_INVALID_URL;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return ERROR_INTERNET_NAME_NOT_RESOLVED;
        case CURLE_COULDNT_CONNECT:
            return ERROR_INTERNET_CANNOT_CONNECT;
        case CURLE_OPERATION_TIMEDOUT:
            return ERROR_INTERNET_TIMEOUT;
        case CURLE_TOO_MANY_REDIRECTS:
        case CURLE_UNSUPPORTED_PROTOCOL:  // only a redirect can lead to an unsupported scheme
            return ERROR_HTTP_REDIRECT_FAILED;
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return osErrno == ECONNRESET ? ERROR_INTERNET_CONNECTION_RESET
                                         : ERROR_INTERNET_CONNECTION_ABORTED;
        case CURLE_PARTIAL_FILE:
        case CURLE_GOT_NOTHING:
            return ERROR_INTERNET_CONNECTION_ABORTED;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        case CURLE_PEER_FAILED_VERIFICATION:
            return ERROR_INTERNET_INVALID_CA;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_CLIENTCERT:
            return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
        default:
            return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

}  // namespace chartloom::inet
