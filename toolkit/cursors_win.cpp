#include "toolkit/cursors_win.hpp"

#include <map>
#include <mutex>  // std::lock_guard

#include "base/lock.hpp"

namespace tb {
namespace {

// Forms of different browser windows are created on different threads.
Lock& TableLock() {
    static Lock lock;
    return lock;
}

std::map<int, HCURSOR>& Table() {
    static std::map<int, HCURSOR> table{{kSystemHandCursor, LoadCursorW(nullptr, IDC_HAND)}};
    return table;
}

}  // namespace

void RegisterCursor(int number, HCURSOR cursor) {
    std::lock_guard<Lock> guard(TableLock());
    if (cursor) {
        Table()[number] = cursor;
    } else {
        Table().erase(number);
    }
}

HCURSOR RegisteredCursor(int number) {
    std::lock_guard<Lock> guard(TableLock());
    const auto found = Table().find(number);
    return found == Table().end() ? nullptr : found->second;
}

}  // namespace tb
