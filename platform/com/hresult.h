#pragma once
// Result codes of the automation runtime, their texts, and the conversion of errors
// to results and back.
//
// A member that fails returns a failing HRESULT and leaves the error's text in the
// thread's error information (SetErrorInfo); the caller reads it back with OleCheck,
// which raises EOleError carrying both. Guard wraps a member's body so that no
// exception ever leaves it: every automation method and every extern "C" entry point
// of a module is written as `return Guard([&] { ... });`.

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "platform/base/exception.h"
#include "platform/com/unknown.h"

namespace tolver {

inline constexpr HRESULT MakeHResult(std::uint32_t code) { return static_cast<HRESULT>(code); }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeHResult(0x80004003);
inline constexpr HRESULT E_ABORT = MakeHResult(0x80004004);
inline constexpr HRESULT E_FAIL = MakeHResult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057);

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHResult(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHResult(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHResult(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = MakeHResult(0x80020007);
inline constexpr HRESULT DISP_E_EXCEPTION = MakeHResult(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = MakeHResult(0x8002000A);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHResult(0x8002000E);

inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154);
inline constexpr HRESULT CO_E_CLASSSTRING = MakeHResult(0x800401F3);
inline constexpr HRESULT CO_E_DLLNOTFOUND = MakeHResult(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = MakeHResult(0x800401F9);
inline constexpr HRESULT CAT_E_CATIDNOEXIST = MakeHResult(0x80040160);
inline constexpr HRESULT CAT_E_NODESCRIPTION = MakeHResult(0x80040161);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHResult(0x80040200);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeHResult(0x80040201);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHResult(0x80040202);

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// The text of a code ("Class not registered"); "Error 0x80041234" for a code it
// does not know.
std::string HResultText(HRESULT hr);

// A failing result raised as an error: the code and its text.
class EOleError : public Exception {
public:
    EOleError(const std::string& message, HRESULT code) : Exception(message), code_(code) {}
    HRESULT ErrorCode() const { return code_; }

private:
    HRESULT code_;
};

// The thread's error information: the text of the last failure and its code.
void SetErrorInfo(HRESULT code, std::string text);
void ClearErrorInfo();
// The text left for a failure with this code, taken out of the thread's error
// information; false (text untouched) when the information is for another code.
bool TakeErrorInfo(HRESULT code, std::string& text);

// Raises EOleError for a failing code, with the text of the thread's error
// information when it belongs to that code, else HResultText.
void OleCheck(HRESULT hr);

// Inside a catch block: records the current exception's text in the thread's error
// information and returns its code (an EOleError's own, E_OUTOFMEMORY for an
// allocation failure, E_FAIL for any other error).
HRESULT HandleException() noexcept;

// Runs f, which returns nothing or an HRESULT; an exception becomes its failing
// result with the error's text (HandleException).
template <class F>
HRESULT Guard(F&& f) noexcept {
    try {
        if constexpr (std::is_void_v<decltype(std::forward<F>(f)())>) {
            std::forward<F>(f)();
            return S_OK;
        } else {
            return std::forward<F>(f)();
        }
    } catch (...) {
        return HandleException();
    }
}

// Parses the registry form of a GUID; raises EOleError (CO_E_CLASSSTRING) on
// anything else.
GUID StringToGUID(std::string_view text);

}  // namespace tolver
