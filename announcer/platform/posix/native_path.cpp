#include "native_path.h"

#include <algorithm>

#include "common/utf.h"

namespace vocalcue {

std::string nativePath(std::u16string_view path) {
    std::string out = kit::utf16ToUtf8(path);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

}  // namespace vocalcue
