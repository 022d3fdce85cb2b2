// tbhost's output: one JSON object a line, whole, whichever thread writes it.
#include "host/driver/driver_win.hpp"

#include <cstdio>

#include "base/text.hpp"
#include "base/wide_win.hpp"

namespace tb::driver {

namespace {

std::mutex output_lock;

}  // namespace

std::string Quote(const std::string& utf8) { return tb::JsonQuoted(utf8); }

std::string Quote(const std::wstring& text) { return Quote(tb::Utf16ToUtf8(tb::FromWide(text))); }

void Emit(const std::string& line) {
    std::lock_guard<std::mutex> guard(output_lock);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string FramePrefix(int frame) { return "{\"frame\":" + std::to_string(frame) + ","; }

namespace {

std::string Argument(const tb::host::ArgumentSeen& seen) {
    if (seen.type == VT_BSTR) return Quote(seen.text);
    if (seen.type == VT_EMPTY || seen.type == VT_ILLEGAL || seen.type == VT_ERROR) return "null";
    if (seen.type == VT_BOOL) return seen.integer ? "true" : "false";
    return std::to_string(seen.integer);
}

}  // namespace

void CallPrinter::Print(const tb::host::BrowserRecord& record) {
    const std::string head = FramePrefix(frame_);
    for (; navigations_ < record.navigations.size(); ++navigations_) {
        Emit(head + "\"call\":\"Navigate\",\"url\":" + Quote(record.navigations[navigations_].url) + "}");
    }
    for (; status_ < record.status_texts.size(); ++status_) {
        Emit(head + "\"call\":\"put_StatusText\",\"text\":" + Quote(record.status_texts[status_]) + "}");
    }
    for (; bars_ < record.bar_calls.size(); ++bars_) {
        const auto& call = record.bar_calls[bars_];
        Emit(head + "\"call\":\"ShowBrowserBar\",\"clsid\":" + Argument(call.class_id) +
             ",\"show\":" + Argument(call.show) + ",\"size\":" + Argument(call.size) + "}");
    }
    for (; widths_ < record.width_queries; ++widths_) Emit(head + "\"call\":\"get_Width\"}");
    for (; execs_ < record.exec_calls.size(); ++execs_) {
        Emit(head + "\"call\":\"Exec\",\"command\":" + std::to_string(record.exec_calls[execs_].command) + "}");
    }
}

}  // namespace tb::driver
