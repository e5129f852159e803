// Korvel.dll: the in-process automation server. One creatable class,
// ClsKorvel, whose dual interface _ClsKorvel has one method, SendData; its
// type library is resource TYPELIB 1 of this DLL. Invoke is written by hand
// so that VBScript's by-reference variants (VT_BYREF|VT_VARIANT) bind to the
// by-reference parameters and get the normalised text written back.
// Errors leave as 0x800A0000 | number (DISP_E_EXCEPTION with that scode for
// automation callers) with the description in the error object.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <atomic>
#include <new>
#include <cwchar>
#include <string>

#include "form1.h"
#include "korvel_error.h"

namespace {

// Chosen once for this component; hosts and the registry know it by these
// (Korvel.idl gives the type library the same three).
const GUID kLibId = {0x6D2F4A17, 0x93C5, 0x4E08, {0xB1, 0xA6, 0x52, 0xE0, 0xC8, 0xF3, 0xA9, 0x01}};
const IID kIid = {0x6D2F4A18, 0x93C5, 0x4E08, {0xB1, 0xA6, 0x52, 0xE0, 0xC8, 0xF3, 0xA9, 0x01}};
const CLSID kClsid = {0x6D2F4A19, 0x93C5, 0x4E08, {0xB1, 0xA6, 0x52, 0xE0, 0xC8, 0xF3, 0xA9, 0x01}};
const wchar_t kProgId[] = L"Korvel.ClsKorvel";
constexpr DISPID kDispSendData = 0x60030000;

HMODULE module;
std::atomic<long> liveObjects{0}, serverLocks{0};
std::atomic<bool> formMade{false};  // a form lives on in its thread: the DLL stays

// The registry form of a GUID: "{6D2F4A19-93C5-...}", upper-case hex.
std::wstring guidText(const GUID& guid) {
    wchar_t text[39];
    return StringFromGUID2(guid, text, 39) ? std::wstring(text) : std::wstring();
}

std::wstring modulePath() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, n);
}

ITypeInfo* loadTypeInfo() {
    ITypeLib* lib = nullptr;
    ITypeInfo* info = nullptr;
    if (SUCCEEDED(LoadTypeLibEx(modulePath().c_str(), REGKIND_NONE, &lib))) {
        lib->GetTypeInfoOfGuid(kIid, &info);
        lib->Release();
    }
    return info;
}

HRESULT raise(const korvel::KorvelError& error) {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        const std::string description = error.description();
        const std::wstring text(description.begin(), description.end());
        create->SetGUID(kIid);
        create->SetSource(const_cast<LPOLESTR>(kProgId));
        create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, error.number() & 0xFFFF);
}

struct IClsKorvel : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE SendData(short* a, BSTR* datas, short* result) = 0;
};

class ClsKorvel final : public IClsKorvel, public ISupportErrorInfo {
public:
    ClsKorvel() { ++liveObjects; }
    ~ClsKorvel() {
        if (typeInfo_) typeInfo_->Release();
        --liveObjects;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kIid)
            *out = static_cast<IClsKorvel*>(this);
        else if (riid == IID_ISupportErrorInfo)
            *out = static_cast<ISupportErrorInfo*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const long left = --refs_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override { return riid == kIid ? S_OK : S_FALSE; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = typeInfo() ? 1 : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        if (!typeInfo()) return TYPE_E_CANTLOADLIBRARY;
        typeInfo_->AddRef();
        *out = typeInfo_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!typeInfo()) return TYPE_E_CANTLOADLIBRARY;
        return DispGetIDsOfNames(typeInfo_, names, count, ids);
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override;

    // The address is never changed; the text is replaced by its normalised form.
    HRESULT STDMETHODCALLTYPE SendData(short* a, BSTR* datas, short* result) override {
        if (!a || !datas || !result) return E_POINTER;
        std::u16string text(reinterpret_cast<const char16_t*>(*datas ? *datas : L""), SysStringLen(*datas));
        const std::u16string given = text;
        auto handBack = [&] {
            if (text == given) return;
            BSTR copy =
                SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
            if (!copy) return;
            SysFreeString(*datas);
            *datas = copy;
        };
        try {
            formMade = true;
            std::int16_t address = *a;
            *result = korvel::apartmentForm().SendData(address, text);
            handBack();
            SetErrorInfo(0, nullptr);
            return S_OK;
        } catch (const korvel::KorvelError& e) {
            handBack();
            return raise(e);
        } catch (...) {
            return raise(korvel::outOfMemoryError());
        }
    }

private:
    ITypeInfo* typeInfo() {
        if (!typeInfo_) typeInfo_ = loadTypeInfo();
        return typeInfo_;
    }

    std::atomic<long> refs_{1};
    ITypeInfo* typeInfo_ = nullptr;
};

// The variant an argument stands for: the caller's own when it was passed by
// reference to a variant.
VARIANT* target(VARIANTARG* arg) {
    return V_VT(arg) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(arg) ? V_VARIANTREF(arg) : arg;
}

HRESULT STDMETHODCALLTYPE ClsKorvel::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                            EXCEPINFO* exception, UINT* argError) {
    if (id != kDispSendData) return DISP_E_MEMBERNOTFOUND;
    if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
    if (!params) return E_INVALIDARG;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params->cArgs != 2) return DISP_E_BADPARAMCOUNT;

    // Arguments arrive last first: rgvarg[1] is `a`, rgvarg[0] is `datas`.
    VARIANT* aArg = target(&params->rgvarg[1]);
    VARIANT* textArg = target(&params->rgvarg[0]);

    short address = 0;
    if (V_VT(aArg) == (VT_BYREF | VT_I2)) {
        address = *V_I2REF(aArg);
    } else {
        VARIANT converted;
        VariantInit(&converted);
        const HRESULT hr = VariantChangeType(&converted, aArg, 0, VT_I2);
        if (FAILED(hr)) {
            if (argError) *argError = 1;
            return hr;
        }
        address = V_I2(&converted);
    }

    BSTR text = nullptr;
    BSTR* textRef = nullptr;  // the caller's string, when it can be written in place
    VARIANT converted;
    VariantInit(&converted);
    if (V_VT(textArg) == (VT_BYREF | VT_BSTR)) {
        textRef = V_BSTRREF(textArg);
        text = *textRef;
    } else if (V_VT(textArg) == VT_BSTR) {
        text = V_BSTR(textArg);
    } else {
        const HRESULT hr = VariantChangeType(&converted, textArg, 0, VT_BSTR);
        if (FAILED(hr)) {
            if (argError) *argError = 0;
            return hr;
        }
        text = V_BSTR(&converted);
    }

    // Work on a copy; hand the normalised text back to a variable the caller passed.
    BSTR work = SysAllocStringLen(text, SysStringLen(text));
    short value = 0;
    const HRESULT hr = SendData(&address, &work, &value);
    const UINT length = SysStringLen(work);
    const bool changed = length != SysStringLen(text) || (length && std::wmemcmp(work, text, length) != 0);
    if (changed) {
        if (textRef) {
            SysFreeString(*textRef);
            *textRef = work;
            work = nullptr;
        } else if (textArg != &params->rgvarg[0]) {
            VariantClear(textArg);
            V_VT(textArg) = VT_BSTR;
            V_BSTR(textArg) = work;
            work = nullptr;
        }
    }
    SysFreeString(work);
    VariantClear(&converted);

    if (FAILED(hr)) {
        if (HRESULT_FACILITY(hr) != FACILITY_CONTROL) return hr;
        if (exception) {
            *exception = EXCEPINFO{};
            exception->scode = hr;
            exception->bstrSource = SysAllocString(kProgId);
            IErrorInfo* info = nullptr;
            if (GetErrorInfo(0, &info) == S_OK && info) {
                info->GetDescription(&exception->bstrDescription);
                SetErrorInfo(0, info);  // left for callers that ask for it
                info->Release();
            }
        }
        return DISP_E_EXCEPTION;
    }
    if (result) {
        VariantInit(result);
        V_VT(result) = VT_I2;
        V_I2(result) = value;
    }
    return S_OK;
}

class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static lifetime
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* object = new (std::nothrow) ClsKorvel;
        if (!object) return E_OUTOFMEMORY;
        const HRESULT hr = object->QueryInterface(riid, out);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ++serverLocks;
        else
            --serverLocks;
        return S_OK;
    }
};

ClassFactory factory;

bool setKey(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) module = instance;
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != kClsid) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() { return liveObjects == 0 && serverLocks == 0 && !formMade ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    const std::wstring path = modulePath();
    const std::wstring clsidText = guidText(kClsid);
    const std::wstring clsidKey = L"CLSID\\" + clsidText;
    const bool ok = setKey(clsidKey, nullptr, L"ClsKorvel") && setKey(clsidKey + L"\\InprocServer32", nullptr, path) &&
                    setKey(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
                    setKey(clsidKey + L"\\ProgID", nullptr, kProgId) &&
                    setKey(clsidKey + L"\\TypeLib", nullptr, guidText(kLibId)) &&
                    setKey(clsidKey + L"\\VERSION", nullptr, L"9.0") && setKey(kProgId, nullptr, L"ClsKorvel") &&
                    setKey(std::wstring(kProgId) + L"\\CLSID", nullptr, clsidText);
    if (!ok) return SELFREG_E_CLASS;
    ITypeLib* lib = nullptr;
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &lib))) return SELFREG_E_TYPELIB;
    lib->Release();
    return S_OK;
}

STDAPI DllUnregisterServer() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, kProgId);
    const std::wstring clsidKey = L"CLSID\\" + guidText(kClsid);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, clsidKey.c_str());
    RegDeleteKeyW(HKEY_CLASSES_ROOT, clsidKey.c_str());
    UnRegisterTypeLib(kLibId, 9, 0, LOCALE_NEUTRAL, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    return S_OK;
}

}  // extern "C"
