#include "tests/support/Md5Hex.h"

#include <Poco/DigestEngine.h>
#include <Poco/MD5Engine.h>

std::string Md5Hex(const std::string& data)
{
    Poco::MD5Engine engine;
    engine.update(data);
    return Poco::DigestEngine::digestToHex(engine.digest());
}
