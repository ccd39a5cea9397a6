#include "net/asyncsock_resolve.h"

#include "net/asyncsock.h"

using namespace platform;

namespace {

bool Blank(char C) { return C == ' ' || C == '\t'; }

// A leading decimal number (blanks skipped), digits up to the first other character.
uint32_t LeadingNumber(const std::string& Text) {
    size_t i = 0;
    while (i < Text.size() && Blank(Text[i])) ++i;
    uint32_t value = 0;
    for (; i < Text.size() && Text[i] >= '0' && Text[i] <= '9'; ++i) value = value * 10 + static_cast<uint32_t>(Text[i] - '0');
    return value;
}

bool StartsWithDigit(const std::string& Text) {
    size_t i = 0;
    while (i < Text.size() && Blank(Text[i])) ++i;
    return i < Text.size() && Text[i] >= '0' && Text[i] <= '9';
}

}  // namespace

std::string TrimBlanks(const std::string& Text) {
    size_t begin = 0, end = Text.size();
    while (begin < end && static_cast<unsigned char>(Text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(Text[end - 1]) <= ' ') --end;
    return Text.substr(begin, end - begin);
}

bool DottedAddress(const std::string& Text, uint32_t& Addr) {
    size_t i = 0;
    const size_t n = Text.size();
    while (i < n && Blank(Text[i])) ++i;
    uint32_t value = 0;
    for (int group = 0; group < 4; ++group) {
        if (group > 0) {
            if (i >= n || Text[i] != '.') return false;
            ++i;
        }
        if (i >= n || Text[i] < '0' || Text[i] > '9') return false;
        uint32_t part = 0;
        while (i < n && Text[i] >= '0' && Text[i] <= '9') {
            part = part * 10 + static_cast<uint32_t>(Text[i++] - '0');
            if (part > 255) return false;
        }
        value = value << 8 | part;
    }
    while (i < n && Blank(Text[i])) ++i;
    if (i != n) return false;
    Addr = value;
    return true;
}

uint32_t ResolveHost(const std::string& Name) {
    if (Name.empty() || Name.size() > 256) throw ESocketException("ResolveHost: '" + Name + "' Invalid Hostname.");
    uint32_t addr;
    if (DottedAddress(Name, addr)) return addr;
    std::vector<uint32_t> addresses;
    if (const int error = HostByName(Name, addresses); error != 0)
        throw ESocketException("ResolveHost: Cannot convert host address '" + Name + "', Error #" + std::to_string(error));
    return addresses.front();
}

uint16_t ResolvePort(const std::string& Port, const std::string& Proto) {
    if (Port.empty() || Port.size() >= 32) throw ESocketException("ResolvePort: Invalid Port.");
    if (Proto.empty() || Proto.size() >= 32) throw ESocketException("ResolvePort: Invalid Proto.");
    if (StartsWithDigit(Port)) return static_cast<uint16_t>(LeadingNumber(Port));
    uint16_t port;
    if (const int error = ServiceByName(Port, Proto, port); error != 0)
        throw ESocketException("ResolvePort: Cannot convert port '" + Port + "', Error #" + std::to_string(error));
    return port;
}

int32_t ResolveProto(const std::string& Proto) {
    if (Proto.empty() || Proto.size() >= 32) throw ESocketException("ResolveProto: Invalid Protocol.");
    if (StartsWithDigit(Proto)) return static_cast<int32_t>(LeadingNumber(Proto));
    int number;
    if (const int error = ProtocolByName(Proto, number); error != 0)
        throw ESocketException("ResolveProto: Cannot convert protocol '" + Proto + "', Error #" + std::to_string(error));
    return number;
}
