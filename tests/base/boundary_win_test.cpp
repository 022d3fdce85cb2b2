// The owning handle template and the boundary helpers that every Windows entry point uses.
#include <gtest/gtest.h>

#include <stdexcept>

#include "base/boundary_win.hpp"
#include "base/handle_win.hpp"

namespace tb {
namespace {

bool HandleIsOpen(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(UniqueHandle, ClosesOnceAndMovesOwnership) {
    HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    {
        UniqueHandle first(raw);
        UniqueHandle second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.Get(), raw);
        UniqueHandle third;
        third = std::move(second);
        EXPECT_TRUE(HandleIsOpen(raw));
    }
    EXPECT_FALSE(HandleIsOpen(raw));
}

TEST(UniqueHandle, ResetAndPutCloseWhatWasHeld) {
    HANDLE a = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE b = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    UniqueHandle held(a);
    held.Reset(b);
    EXPECT_FALSE(HandleIsOpen(a));
    *held.Put() = nullptr;
    EXPECT_FALSE(HandleIsOpen(b));
    HANDLE c = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    UniqueHandle released(c);
    EXPECT_EQ(released.Release(), c);
    EXPECT_TRUE(HandleIsOpen(c));
    CloseHandle(c);
}

TEST(UniqueHandle, FileHandleTreatsInvalidValueAsEmpty) {
    UniqueFile none(CreateFileW(L"Z:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(none);
}

TEST(UniqueHandle, WindowIsDestroyedOnce) {
    HWND raw = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(raw, nullptr);
    {
        UniqueHwnd window(raw);
        EXPECT_TRUE(IsWindow(raw));
    }
    EXPECT_FALSE(IsWindow(raw));
    // A window destroyed elsewhere first is not destroyed again.
    HWND other = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    UniqueHwnd owner(other);
    DestroyWindow(other);
    owner.Reset();
    EXPECT_FALSE(owner);
}

TEST(ComBoundary, TurnsExceptionsIntoResults) {
    struct Case {
        const char* name;
        void (*raise)();
        HRESULT expected;
    };
    const Case cases[] = {
        {"ComError", [] { throw ComError(E_ACCESSDENIED); }, E_ACCESSDENIED},
        {"out of memory", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        {"system error", [] { throw Error("Storage library error: broken"); }, E_FAIL},
        {"other", [] { throw 42; }, E_FAIL},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComBoundary([&]() -> HRESULT { c.raise(); return S_OK; }), c.expected) << c.name;
    }
    EXPECT_EQ(ComBoundary([] { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(WindowBoundary([]() -> LRESULT { throw std::runtime_error("x"); }, 7), 7);
    EXPECT_EQ(ThreadBoundary([]() -> DWORD { return 0; }), 0u);
}

// Two interfaces of one object, answered from a table.
class Object final : public IPersist, public IOleWindow {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        return QueryInterfaceFromTable(this, iid, out, {TB_QI_ENTRY(Object, IPersist), TB_QI_ENTRY(Object, IOleWindow)});
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    ULONG references = 1;
};

TEST(QueryInterfaceFromTable, AnswersListedInterfacesWithOneIdentity) {
    Object object;
    void* persist = nullptr;
    void* window = nullptr;
    void* unknown = nullptr;
    void* refused = reinterpret_cast<void*>(1);
    EXPECT_EQ(object.QueryInterface(IID_IPersist, &persist), S_OK);
    EXPECT_EQ(persist, static_cast<IPersist*>(&object));
    EXPECT_EQ(object.QueryInterface(IID_IOleWindow, &window), S_OK);
    EXPECT_EQ(window, static_cast<IOleWindow*>(&object));
    EXPECT_EQ(object.QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(unknown, persist);
    EXPECT_EQ(object.QueryInterface(IID_IDispatch, &refused), E_NOINTERFACE);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(object.QueryInterface(IID_IPersist, nullptr), E_POINTER);
    EXPECT_EQ(object.references, 4u);
}

}  // namespace
}  // namespace tb
