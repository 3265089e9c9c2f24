// SPDX-License-Identifier: MIT
#include "TransferSummary.h"

std::string TransferSummary(CURLcode code) {
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return "timed out";
    case CURLE_COULDNT_CONNECT:
        return "connection refused";
    case CURLE_COULDNT_RESOLVE_HOST:
        return "host not found";
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_USE_SSL_FAILED:
        return "TLS failed";
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
        return "connection lost";
    case CURLE_WEIRD_SERVER_REPLY:
        return "not an answer of the protocol";
    case CURLE_LOGIN_DENIED:
        return "login refused";
    case CURLE_ABORTED_BY_CALLBACK:
        return "stopped";
    case CURLE_OUT_OF_MEMORY:
        return "out of memory";
    default:
        return "no answer";
    }
}
