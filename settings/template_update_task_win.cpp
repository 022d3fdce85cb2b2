#include "settings/template_update_task_win.hpp"

#include "base/message_pump_win.hpp"

namespace tb {

struct TemplateUpdateTask::Shared {
    UpdateTarget target;
    std::u16string updates_url;
    UpdateLimits limits;
    UniqueHandle queue_ready;  // set once the update's thread has a message queue
    std::string outcome;       // written by the update's thread before it ends
};

DWORD WINAPI TemplateUpdateTask::Run(void* context) {
    auto* owned = static_cast<std::shared_ptr<Shared>*>(context);
    const std::shared_ptr<Shared> shared = std::move(*owned);
    delete owned;
    // A queue of its own first: giving up is a WM_QUIT posted to this thread, which the update's
    // transfers meet exactly as a quit of the window's thread.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    SetEvent(shared->queue_ready.Get());
    try {
        shared->outcome = UpdateTemplate(shared->target, shared->updates_url, shared->limits);
    } catch (...) {
        // Nothing may leave a thread procedure; the update itself raises nothing.
        shared->outcome = "failed: out of memory";
    }
    return 0;
}

std::unique_ptr<TemplateUpdateTask> TemplateUpdateTask::Start() {
    UpdateTarget target;
    std::u16string updates_url;
    if (!UpdateOfSettings(target, updates_url)) return nullptr;
    return Start(target, updates_url);
}

std::unique_ptr<TemplateUpdateTask> TemplateUpdateTask::Start(const UpdateTarget& target, std::u16string updates_url,
                                                              const UpdateLimits& limits) {
    std::unique_ptr<TemplateUpdateTask> task(new TemplateUpdateTask());
    task->shared_ = std::make_shared<Shared>();
    Shared& shared = *task->shared_;
    shared.target = target;
    shared.updates_url = std::move(updates_url);
    shared.limits = limits;
    shared.queue_ready.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (shared.queue_ready) {
        auto* handed = new std::shared_ptr<Shared>(task->shared_);
        task->thread_.Reset(CreateThread(nullptr, 0, &TemplateUpdateTask::Run, handed, 0, &task->thread_id_));
        if (!task->thread_) delete handed;
        // The window being built needs the processor more than the check does.
        if (task->thread_) SetThreadPriority(task->thread_.Get(), THREAD_PRIORITY_BELOW_NORMAL);
    }
    if (!task->thread_) {
        // Out of threads or events: the update in place, as a window did it before.
        task->outcome_ = UpdateTemplate(shared.target, shared.updates_url, shared.limits);
        task->waited_ = true;
    }
    return task;
}

void TemplateUpdateTask::GiveUp() {
    const HANDLE handles[] = {shared_->queue_ready.Get(), thread_.Get()};
    // The thread has its queue in a moment, or has already ended.
    if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0) {
        PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
    }
}

std::string TemplateUpdateTask::Wait() {
    if (waited_) return outcome_;
    waited_ = true;
    bool quit = false;
    WPARAM quit_code = 0;
    const HANDLE thread = thread_.Get();
    while (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) {
        if (!quit) {
            const PumpResult pumped = TakeWaitingMessages();
            if (pumped.quit) {
                quit = true;
                quit_code = pumped.quit_code;
                GiveUp();
                continue;
            }
            WaitForMessageOr(INFINITE, &thread, 1);
        } else {
            WaitForSingleObject(thread, INFINITE);
        }
    }
    outcome_ = shared_->outcome;
    if (quit) PostQuitMessage(static_cast<int>(quit_code));
    return outcome_;
}

TemplateUpdateTask::~TemplateUpdateTask() {
    if (waited_) return;
    // Nobody waited (the window failed on its way): the update is given up, and no message of
    // the window's thread is handled from a destructor.
    GiveUp();
    WaitForSingleObject(thread_.Get(), INFINITE);
}

}  // namespace tb
