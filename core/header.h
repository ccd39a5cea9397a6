#pragma once
// Shared helpers of every stored format: little-endian scalar fields and strings on streams,
// and the one bulk copy between streams.
#include "core/streams.h"

#include <cstdint>
#include <string>

static_assert(sizeof(long double) >= 10, "stored reals are 80-bit x87 extended values");

// A string is an int32 byte count and exactly that many bytes, no terminator, no conversion.
void WriteStreamString(TStream& Stream, const std::string& S);
// Raises EReadError when the count is negative or exceeds what the stream still holds.
void ReadStreamString(TStream& Stream, std::string& S);
std::string ReadStreamString(TStream& Stream);

void WriteStreamInt(TStream& Stream, int32_t Value);
void WriteStreamWord(TStream& Stream, uint16_t Value);
void WriteStreamByte(TStream& Stream, uint8_t Value);
void WriteStreamDouble(TStream& Stream, double Value);
void WriteStreamExtended(TStream& Stream, long double Value);  // the 10 bytes of the x87 format

// Each raises EReadError when the stream ends before the field is complete.
int32_t ReadStreamInt(TStream& Stream);
uint16_t ReadStreamWord(TStream& Stream);
uint8_t ReadStreamByte(TStream& Stream);
double ReadStreamDouble(TStream& Stream);
long double ReadStreamExtended(TStream& Stream);

// Copies Count bytes from Source's position to Dest's position; Count 0 copies the whole of
// Source from its first byte. Returns the number of bytes really copied, which is less than
// Count when Source ends early.
int64_t CopyStreamData(TStream& Dest, TStream& Source, int64_t Count);
