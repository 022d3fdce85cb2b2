#pragma once
// One GET as the template update makes it, for `tbtool probe`: http or https only, redirects only
// while they stay on http(s) and never from https down to http, at most kMaxUpdateRedirects hops,
// the body cut off at a size limit, given up at a deadline. Natively with libcurl; the Windows build
// of the tool does not probe (the library itself fetches with WinInet).
#include <cstdint>
#include <string>

namespace tb::tool {

struct WebGetOptions {
    uint64_t max_bytes = 0;
    long timeout_ms = 0;  // the whole transfer
    long no_answer_ms = 0;
    std::string ca_file;  // trusted roots besides none of the system's when set; else the system's
};

struct WebGetResult {
    bool answered = false;      // a status line came back
    long status = 0;            // the final status, after redirects
    std::string body;           // when status is 200
    uint64_t size = 0;          // bytes received (the whole body unless cut off)
    std::string final_url;      // where the redirects led
    bool secure = false;        // the final address is https, and its certificate verified for its host
    std::string failure;        // empty on an answer; else the update log's words: "size limit",
                                // "certificate not trusted", "deadline", ...
};

WebGetResult WebGet(const std::string& url, const WebGetOptions& options);

}  // namespace tb::tool
