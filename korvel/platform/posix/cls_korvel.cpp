// The Linux entry points: the C++ class and the C interface over the
// calling thread's form. No exception leaves the C interface.
#include <algorithm>
#include <cstring>

#include "common/utf.h"
#include "form1.h"
#include "korvel.h"

namespace korvel {

std::int16_t ClsKorvel::SendData(std::int16_t& a, std::string& datas) {
    std::u16string text = kit::utf8ToUtf16(datas);
    const std::u16string given = text;
    // The form writes the normalised text back even when a later step fails.
    struct WriteBack {
        const std::u16string& text;
        const std::u16string& given;
        std::string& datas;
        ~WriteBack() {
            if (text != given) datas = kit::utf16ToUtf8(text);
        }
    } writeBack{text, given, datas};
    return apartmentForm().SendData(a, text);
}

}  // namespace korvel

namespace {

void copyText(const std::string& text, char* to, std::size_t size) {
    if (!to || size == 0) return;
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(to, text.data(), n);
    to[n] = '\0';
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int korvel_send_data(int16_t address, char* datas, size_t datas_size,
                                                                       int16_t* result, char* description,
                                                                       size_t description_size) {
    std::string text = datas ? std::string(datas, strnlen(datas, datas_size)) : std::string();
    const std::string given = text;
    auto handBack = [&] {
        if (datas && text != given && text.size() < datas_size) copyText(text, datas, datas_size);
    };
    try {
        korvel::ClsKorvel cls;
        std::int16_t a = address;
        const std::int16_t r = cls.SendData(a, text);
        handBack();
        if (result) *result = r;
        copyText("", description, description_size);
        return 0;
    } catch (const korvel::KorvelError& e) {
        handBack();
        copyText(e.description(), description, description_size);
        return e.number();
    } catch (...) {
        const korvel::KorvelError e = korvel::outOfMemoryError();
        copyText(e.description(), description, description_size);
        return e.number();
    }
}
