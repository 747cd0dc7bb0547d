#pragma once
// TDateTime: days since 30 December 1899, the fraction is the time of day.

#include <cstdint>

namespace host {

using TDateTime = double;

// Raise EConvertError("Invalid argument to date encode") /
// ("Invalid argument to time encode") for values out of range.
TDateTime EncodeDate(std::uint16_t Year, std::uint16_t Month, std::uint16_t Day);
TDateTime EncodeTime(std::uint16_t Hour, std::uint16_t Min, std::uint16_t Sec, std::uint16_t MSec);
bool TryEncodeDate(std::uint16_t Year, std::uint16_t Month, std::uint16_t Day, TDateTime& Result);
bool TryEncodeTime(std::uint16_t Hour, std::uint16_t Min, std::uint16_t Sec, std::uint16_t MSec,
                   TDateTime& Result);
void DecodeDate(TDateTime Date, std::uint16_t& Year, std::uint16_t& Month, std::uint16_t& Day);
void DecodeTime(TDateTime Time, std::uint16_t& Hour, std::uint16_t& Min, std::uint16_t& Sec,
                std::uint16_t& MSec);
bool IsLeapYear(std::uint16_t Year);
// Local time.
TDateTime Now();

}  // namespace host
