#include "platform/LastError.h"

#include <cerrno>
#include <cstring>

namespace Platform {

int LastErrorCode()
{
    return errno;
}

bool LastErrorText(int code, std::string& text)
{
    // strerrordesc_np, unlike strerror, answers "no text" for an unknown code instead of making
    // one up, and its texts are static, so no buffer or lock is needed on any thread.
    const char* description = strerrordesc_np(code);
    if (description == nullptr)
        return false;
    text = description;
    return true;
}

} // namespace Platform
