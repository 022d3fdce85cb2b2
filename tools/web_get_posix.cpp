#include "tools/web_get.hpp"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string_view>

#include "base/errors.hpp"
#include "settings/update_checks.hpp"

namespace tb::tool {

namespace {

struct Transfer {
    std::string body;
    uint64_t received = 0;
    uint64_t max_bytes = 0;
    bool over_limit = false;
};

size_t Receive(char* data, size_t size, size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    const size_t bytes = size * count;
    transfer->received += bytes;
    if (transfer->received > transfer->max_bytes) {
        transfer->over_limit = true;
        return 0;  // stops the transfer: more than the toolbar would take
    }
    transfer->body.append(data, bytes);
    return bytes;
}

// The words the toolbar's update log uses for the same failure, so a publisher meets one vocabulary.
// The chain's verdict is OpenSSL's code; the name is checked by libcurl itself, which says so only
// in its text.
std::string CertificateFailure(long verify_result, std::string_view error_text) {
    if (verify_result == 9 || verify_result == 10) return "certificate expired or not yet valid";
    if (verify_result == 62 || error_text.find("host name") != std::string_view::npos) {
        return "certificate names another host";
    }
    return "certificate not trusted";
}

bool StartsWithHttps(const std::string& url) {
    return url.size() >= 8 && (url.compare(0, 8, "https://") == 0 || url.compare(0, 8, "HTTPS://") == 0);
}

}  // namespace

WebGetResult WebGet(const std::string& url, const WebGetOptions& options) {
    static std::once_flag init;
    std::call_once(init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) throw Error("libcurl cannot start a transfer");
    CURL* c = curl.get();
    const bool started_secure = StartsWithHttps(url);
    Transfer transfer;
    transfer.max_bytes = options.max_bytes;
    char error_text[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, started_secure ? "https" : "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, static_cast<long>(kMaxUpdateRedirects));
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, options.timeout_ms);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, options.no_answer_ms);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, std::max(1L, options.no_answer_ms / 1000));
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.max_bytes));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Receive);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error_text);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "tbtool-probe");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    if (!options.ca_file.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, options.ca_file.c_str());

    const CURLcode code = curl_easy_perform(c);
    WebGetResult result;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &result.status);
    char* final_url = nullptr;
    curl_easy_getinfo(c, CURLINFO_EFFECTIVE_URL, &final_url);
    result.final_url = final_url ? final_url : url;
    result.size = transfer.received;
    result.answered = result.status != 0;
    switch (code) {
        case CURLE_OK:
            break;
        case CURLE_WRITE_ERROR:
        case CURLE_FILESIZE_EXCEEDED:
            result.failure = transfer.over_limit || code == CURLE_FILESIZE_EXCEEDED ? "size limit" : error_text;
            break;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE: {
            long verify = 0;
            curl_easy_getinfo(c, CURLINFO_SSL_VERIFYRESULT, &verify);
            result.failure = CertificateFailure(verify, error_text);
            break;
        }
        case CURLE_OPERATION_TIMEDOUT:
            result.failure = transfer.received > 0 || result.answered ? "deadline" : "no answer";
            break;
        case CURLE_TOO_MANY_REDIRECTS:
            result.failure = "too many redirects";
            break;
        case CURLE_UNSUPPORTED_PROTOCOL:
            result.failure = started_secure ? "redirected from https to another scheme"
                                            : "redirected to an address that is not http or https";
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
            result.failure = "unknown host";
            break;
        case CURLE_COULDNT_CONNECT:
            result.failure = "no answer";
            break;
        default:
            result.failure = std::string("the connection broke (") + (error_text[0] ? error_text : curl_easy_strerror(code)) + ")";
    }
    if (!result.failure.empty()) result.answered = false;
    result.secure = result.failure.empty() && StartsWithHttps(result.final_url);
    if (result.failure.empty() && result.status == 200) result.body = std::move(transfer.body);
    return result;
}

}  // namespace tb::tool
