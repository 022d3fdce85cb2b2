#pragma once
// A foreign ActiveX control on a toolkit window, hosted by the system's own ActiveX container: the
// "AtlAxWin" window class of atl.dll, which Windows carries (and Wine too). The library is loaded
// when the first control is made, so a toolbar that shows none never loads it.
//
// The control's events arrive through its default source interface (IProvideClassInfo2), or the
// first connection point it offers that is not IPropertyNotifySink; each event is handed to OnEvent
// with its dispatch id and arguments. Calls go late-bound through IDispatch, by name or by id.
#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <vector>

#include "base/com_win.hpp"
#include "toolkit/form_win.hpp"

namespace tb {

class TOleControl : public TWinControl {
public:
    explicit TOleControl(std::u16string name);
    ~TOleControl() override;

    // Creates the host window (a hidden child of `parent`) and the control of that class in it.
    // Raises ComError when the control cannot be created (REGDB_E_CLASSNOTREG when it is not
    // installed) and Error when the system's container is missing.
    void Create(HWND parent, const CLSID& class_id);
    IUnknown* Control() const { return control_.Get(); }

    // A method or property by name, through the dispatch interface `iid` of the control (IID_IDispatch:
    // its default one). Arguments in their declared order. Failures raise ComError.
    Variant Call(REFIID iid, const wchar_t* name, WORD flags, std::vector<VARIANTARG> arguments = {});
    // Sets a property by dispatch id.
    void PutProperty(REFIID iid, DISPID id, const VARIANT& value);

    // An event of the control: its dispatch id and arguments (in the order Invoke gets them: last first).
    std::function<void(DISPID id, const DISPPARAMS& arguments)> OnEvent;

private:
    class EventSink;
    Microsoft::WRL::ComPtr<IDispatch> DispatchOf(REFIID iid) const;
    void ConnectEvents();
    void DisconnectEvents();

    Microsoft::WRL::ComPtr<IUnknown> control_;
    Microsoft::WRL::ComPtr<IConnectionPoint> connection_;
    Microsoft::WRL::ComPtr<EventSink> sink_;
    DWORD cookie_ = 0;
};

}  // namespace tb
