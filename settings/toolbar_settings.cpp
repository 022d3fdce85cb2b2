#include "settings/toolbar_settings.hpp"

#include <mutex>  // std::lock_guard

#include "base/lock.hpp"

namespace tb {
namespace {

Lock& RecordLock() {
    static Lock lock;
    return lock;
}

ToolbarSettings& Record() {
    static ToolbarSettings record;
    return record;
}

}  // namespace

std::u16string TemplateFilePath(const ToolbarSettings& settings) {
    return settings.DataFolder + u"\\" + settings.TemplateBaseName + u".tb";
}

std::u16string IconStorePath(const ToolbarSettings& settings) { return settings.DataFolder + u"\\Icons.bin"; }

std::u16string CopyrightsFilePath(const ToolbarSettings& settings) {
    return settings.ModuleFolder + u"\\Copyrights.txt";
}

ToolbarSettings CurrentSettings() {
    std::lock_guard<Lock> guard(RecordLock());
    return Record();
}

void ChangeSettings(const std::function<void(ToolbarSettings&)>& change) {
    std::lock_guard<Lock> guard(RecordLock());
    change(Record());
}

}  // namespace tb
