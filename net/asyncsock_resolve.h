#pragma once
// The socket's name helpers: the dotted-address test and the resolution of hosts, ports and
// protocols, which raise ESocketException themselves.
#include <cstdint>
#include <string>

// Text without the blanks and control characters at either end.
std::string TrimBlanks(const std::string& Text);
// Optional blanks, four decimal groups of at most 255 joined by exactly three dots (each
// followed by a digit), optional blanks; Addr gets the address.
bool DottedAddress(const std::string& Text, uint32_t& Addr);
uint32_t ResolveHost(const std::string& Name);
uint16_t ResolvePort(const std::string& Port, const std::string& Proto);
int32_t ResolveProto(const std::string& Proto);
