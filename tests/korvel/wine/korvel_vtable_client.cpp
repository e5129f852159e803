// A C++ host of Korvel.dll that binds early: it creates ClsKorvel through the
// registry and calls SendData through the _ClsKorvel vtable, with a 16-bit
// address and a BSTR by reference, against the Modbus slave mapped to COM1.
// Errors come back as 0x800A0000 | number with the text in the error object.
// KORVEL_MODE_FILE and KORVEL_STATE_FILE name the slave's files (see
// sim/table_controller/table_controller.cpp).
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

// The dual interface's own method follows the seven of IDispatch. Declared
// outside the anonymous namespace: there the compiler would see that no class
// of this program implements it and turn the call into a pure-virtual call.
struct IClsKorvel : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE SendData(short* a, BSTR* datas, short* result) = 0;
};

namespace {

// As the README gives them to hosts.
const IID kIidClsKorvel = {0x6D2F4A18, 0x93C5, 0x4E08, {0xB1, 0xA6, 0x52, 0xE0, 0xC8, 0xF3, 0xA9, 0x01}};
const CLSID kClsidClsKorvel = {0x6D2F4A19, 0x93C5, 0x4E08, {0xB1, 0xA6, 0x52, 0xE0, 0xC8, 0xF3, 0xA9, 0x01}};

std::string fileOf(const char* variable) {
    const char* path = std::getenv(variable);
    return path ? path : "";
}

void setMode(const std::string& mode) { std::ofstream(fileOf("KORVEL_MODE_FILE")) << mode << "\n"; }

std::string stateValue(const std::string& key) {
    std::ifstream in(fileOf("KORVEL_STATE_FILE"));
    std::string line, value;
    while (std::getline(in, line))
        if (line.rfind(key + " ", 0) == 0) value = line.substr(key.size() + 1);
    return value;
}

std::wstring text(BSTR b) { return std::wstring(b ? b : L"", SysStringLen(b)); }

class KorvelVtable : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(fileOf("KORVEL_MODE_FILE").empty() || fileOf("KORVEL_STATE_FILE").empty())
            << "KORVEL_MODE_FILE and KORVEL_STATE_FILE must be set";
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        const HRESULT hr = CoCreateInstance(kClsidClsKorvel, nullptr, CLSCTX_INPROC_SERVER, kIidClsKorvel,
                                            reinterpret_cast<void**>(&korvel_));
        ASSERT_EQ(hr, S_OK) << "CoCreateInstance of ClsKorvel";
    }
    void TearDown() override {
        setMode("reply");
        if (korvel_) korvel_->Release();
        CoUninitialize();
    }
    IClsKorvel* korvel_ = nullptr;
};

TEST_F(KorvelVtable, SendDataThroughTheVtable) {
    const std::wstring zeros63(63, L'0'), all = L"1111111100000001" + std::wstring(48, L'1');
    const char* const allRegisters = "FF01 FFFF FFFF FFFF";
    const struct {
        const char* name;
        const char* mode;
        short address;
        std::wstring digits;
        HRESULT hr;
        short result;
        std::wstring textBack;  // the text the caller holds afterwards
        bool sends;
        const char* registers;  // what the slave holds afterwards
        const wchar_t* description;
    } cases[] = {
        {"one bit", "reply", 1, L"1", S_OK, 0, L"1" + zeros63, true, "8000 0000 0000 0000", nullptr},
        {"more than 64 digits", "reply", 1, all + L"0000000", S_OK, 0, all, true, allRegisters, nullptr},
        {"reply from another address", "other", 1, L"01", S_OK, -1, L"01" + std::wstring(62, L'0'), true, allRegisters,
         nullptr},
        {"no reply", "none", 1, L"1", static_cast<HRESULT>(0x800A0009), 0, L"1" + zeros63, true, allRegisters,
         L"Subscript out of range"},
        {"address -1", "reply", -1, L"1", static_cast<HRESULT>(0x800A0006), 0, L"1" + zeros63, false, allRegisters,
         L"Overflow"},
        {"address 256", "reply", 256, L"1", static_cast<HRESULT>(0x800A0006), 0, L"1" + zeros63, false, allRegisters,
         L"Overflow"},
        {"group over 255", "reply", 1, L"2", static_cast<HRESULT>(0x800A0006), 0, L"2" + zeros63, false, allRegisters,
         L"Overflow"},
        {"after the errors", "reply", 1, L"0000000000000001", S_OK, 0, L"0000000000000001" + std::wstring(48, L'0'),
         true, "0001 0000 0000 0000", nullptr},
    };
    for (const auto& c : cases) {
        setMode(c.mode);
        const std::string receivedBefore = stateValue("received");
        short address = c.address, result = 0;
        BSTR digits = SysAllocStringLen(c.digits.data(), static_cast<UINT>(c.digits.size()));
        const HRESULT hr = korvel_->SendData(&address, &digits, &result);
        EXPECT_EQ(hr, c.hr) << c.name;
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(address, c.address) << c.name << ": the address is never changed";
        EXPECT_EQ(text(digits), c.textBack) << c.name;
        EXPECT_EQ(stateValue("registers"), c.registers) << c.name;
        EXPECT_EQ(stateValue("received") != receivedBefore, c.sends) << c.name;
        SysFreeString(digits);

        IErrorInfo* info = nullptr;
        const HRESULT got = GetErrorInfo(0, &info);
        if (!c.description) {
            EXPECT_TRUE(got != S_OK || !info) << c.name << ": no error object after success";
        } else {
            ASSERT_EQ(got, S_OK) << c.name << ": an error object";
            ASSERT_NE(info, nullptr) << c.name;
            BSTR description = nullptr, source = nullptr;
            info->GetDescription(&description);
            info->GetSource(&source);
            EXPECT_EQ(text(description), c.description) << c.name;
            EXPECT_EQ(text(source), L"Korvel.ClsKorvel") << c.name;
            SysFreeString(description);
            SysFreeString(source);
        }
        if (info) info->Release();
    }

    ISupportErrorInfo* support = nullptr;
    ASSERT_EQ(korvel_->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(kIidClsKorvel), S_OK);
    support->Release();
}

}  // namespace
