#pragma once
// The template update of a window that is being built, on a thread of its own: the window starts
// it as soon as it has read its files, makes its controls and decodes its icons while the update's
// requests are on their way, and waits for the update (handling its messages) before it reads the
// template again. What the update does, and in what order the window reads its files around it,
// stay as they are with the update run in place.
#include <windows.h>

#include <memory>
#include <string>

#include "base/handle_win.hpp"
#include "settings/template_update_win.hpp"

namespace tb {

class TemplateUpdateTask {
public:
    // Starts the update for the toolbar's settings; null when there is no update location (then
    // nothing is asked of the network, as before). A missing trailing "/" is added to the record's
    // UpdatesUrl here, on the calling thread. If no thread can be started the update runs in place.
    static std::unique_ptr<TemplateUpdateTask> Start();
    // Starts the update for `target` (the test seam of Start).
    static std::unique_ptr<TemplateUpdateTask> Start(const UpdateTarget& target, std::u16string updates_url,
                                                     const UpdateLimits& limits = {});

    // Waits for the update's end and returns its outcome (as logged). The calling thread's window
    // messages are handled meanwhile. A WM_QUIT met there is not the wait's to take: the update's
    // transfers are given up ("failed: the window closed") and WM_QUIT goes back into the queue
    // once the update has ended.
    std::string Wait();

    // Gives the update up and waits for its thread if nobody waited: the thread never outlives
    // the task.
    ~TemplateUpdateTask();
    TemplateUpdateTask(const TemplateUpdateTask&) = delete;
    TemplateUpdateTask& operator=(const TemplateUpdateTask&) = delete;

private:
    struct Shared;
    TemplateUpdateTask() = default;
    static DWORD WINAPI Run(void* context);
    void GiveUp();

    std::shared_ptr<Shared> shared_;
    UniqueHandle thread_;
    DWORD thread_id_ = 0;
    bool waited_ = false;
    std::string outcome_;
};

}  // namespace tb
