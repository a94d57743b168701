#include "winapp/StatusAccessible.h"

#include "winapp/ControlWindow.h"
#include "winapp/StatusControl.h"

#include <atomic>
#include <memory>
#include <oleacc.h>
#include <string>

// Interface ids come from __uuidof: the import library of oleacc exports a symbol named IID_IAccessible that
// is not the GUID, and a static link may pick it.

namespace brenwick::winapp {

namespace {

bool IsSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

HRESULT Text(const std::wstring& text, BSTR* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT NoText(BSTR* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    return S_FALSE;
}

HRESULT Number(LONG number, VARIANT* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    ::VariantInit(out);
    out->vt = VT_I4;
    out->lVal = number;
    return S_OK;
}

// COM interfaces have no virtual destructor by design: an object is only ever destroyed by its own Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// The bar as one object without children: a read-only progress bar with the status text as its name and the
// progress as its value, where the window is.
class CStatusAccessible final : public IAccessible {
  public:
    explicit CStatusAccessible(HWND window) : m_Window(window) {}
    CStatusAccessible(const CStatusAccessible&) = delete;
    CStatusAccessible& operator=(const CStatusAccessible&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (::IsEqualIID(id, __uuidof(IUnknown)) || ::IsEqualIID(id, __uuidof(IDispatch)) ||
            ::IsEqualIID(id, __uuidof(IAccessible))) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_References; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_References;
        if (left == 0) {
            std::unique_ptr<CStatusAccessible>(this).reset(); // the last reference owned it
        }
        return left;
    }

    // IDispatch: assistive technology calls the interface directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return IsSelf(child) ? Text(WindowText(m_Window), name) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return IsSelf(child) ? Text(std::to_wstring(GetStatusPos(m_Window)) + L"%", value) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        return IsSelf(child) ? Number(ROLE_SYSTEM_PROGRESSBAR, role) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!IsSelf(child)) {
            return E_INVALIDARG;
        }
        const LONG shown = ::IsWindowVisible(m_Window) != 0 ? 0 : STATE_SYSTEM_INVISIBLE;
        return Number(STATE_SYSTEM_READONLY | shown, state);
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override {
        if (!IsSelf(child)) {
            return E_INVALIDARG;
        }
        if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) {
            return E_POINTER;
        }
        RECT r{};
        ::GetWindowRect(m_Window, &r);
        *left = r.left;
        *top = r.top;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
        RECT r{};
        ::GetWindowRect(m_Window, &r);
        const POINT point{x, y};
        if (::PtInRect(&r, point) != 0) {
            return Number(CHILDID_SELF, child);
        }
        ::VariantInit(child);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (parent == nullptr) {
            return E_POINTER;
        }
        *parent = nullptr;
        return ::AccessibleObjectFromWindow(m_Window, static_cast<DWORD>(OBJID_WINDOW), __uuidof(IDispatch),
                                            reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** dispatch) override {
        if (dispatch != nullptr) {
            *dispatch = nullptr;
        }
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* text) override { return NoText(text); }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* text) override { return NoText(text); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        if (topic != nullptr) {
            *topic = 0;
        }
        return NoText(file);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* text) override { return NoText(text); }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT, BSTR* text) override { return NoText(text); }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override {
        if (child == nullptr) {
            return E_POINTER;
        }
        if (::GetFocus() == m_Window) {
            return Number(CHILDID_SELF, child);
        }
        ::VariantInit(child);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        if (children != nullptr) {
            ::VariantInit(children);
        }
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG, VARIANT, VARIANT* end) override {
        if (end != nullptr) {
            ::VariantInit(end);
        }
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

  private:
    ~CStatusAccessible() = default;
    friend struct std::default_delete<CStatusAccessible>;

    HWND m_Window;
    std::atomic<ULONG> m_References{1};
};

#pragma GCC diagnostic pop

} // namespace

LRESULT AnswerStatusObjectRequest(HWND window, WPARAM wParam, LPARAM lParam) {
    if (static_cast<LONG>(lParam) != static_cast<LONG>(OBJID_CLIENT)) {
        return ::DefWindowProcW(window, WM_GETOBJECT, wParam, lParam);
    }
    auto* object = std::make_unique<CStatusAccessible>(window).release(); // owned by its references
    const LRESULT result = ::LresultFromObject(__uuidof(IAccessible), wParam, object);
    object->Release(); // the answer holds its own reference
    return result;
}

} // namespace brenwick::winapp
