// Result codes of the pull-source read path, with the values the media
// framework's callers know them by. Success codes are >= 0.
#pragma once

#include <cstdint>

namespace kinoverd {

using Result = int32_t;

constexpr Result kOk = 0;                                   // S_OK
constexpr Result kFalse = 1;                                // S_FALSE
constexpr Result kFirstOfRun = 0x00040000;                  // OLE_S_FIRST: data begins a new run
constexpr Result kNoMoreItems = 0x00040103;                 // VFW_S_NO_MORE_ITEMS
constexpr Result kFail = int32_t(0x80004005);               // E_FAIL
constexpr Result kPointer = int32_t(0x80004003);            // E_POINTER
constexpr Result kInvalidArgument = int32_t(0x80070057);    // E_INVALIDARG
constexpr Result kOutOfMemory = int32_t(0x8007000E);        // E_OUTOFMEMORY
constexpr Result kBadAlignment = int32_t(0x8004020E);       // VFW_E_BADALIGN
constexpr Result kWrongState = int32_t(0x80040227);         // VFW_E_WRONG_STATE
constexpr Result kTimeout = int32_t(0x8004022E);            // VFW_E_TIMEOUT
constexpr Result kNoTransport = int32_t(0x80040266);        // VFW_E_NO_TRANSPORT

constexpr bool Succeeded(Result result) { return result >= 0; }

}  // namespace kinoverd
