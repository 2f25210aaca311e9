#include "platform/com/hresult.h"

#include <cstdio>
#include <new>

namespace tolver {
namespace {

struct ErrorInfo {
    HRESULT code = S_OK;
    std::string text;
    bool set = false;
};

thread_local ErrorInfo tError;

}  // namespace

std::string HResultText(HRESULT hr) {
    switch (hr) {
        case S_OK: return "The operation completed successfully";
        case S_FALSE: return "The operation completed with a false result";
        case E_NOTIMPL: return "Not implemented";
        case E_NOINTERFACE: return "No such interface supported";
        case E_POINTER: return "Invalid pointer";
        case E_ABORT: return "Operation aborted";
        case E_FAIL: return "Unspecified error";
        case E_UNEXPECTED: return "Unexpected failure";
        case E_ACCESSDENIED: return "Access denied";
        case E_OUTOFMEMORY: return "Out of memory";
        case E_INVALIDARG: return "Invalid argument";
        case DISP_E_UNKNOWNINTERFACE: return "Unknown interface";
        case DISP_E_MEMBERNOTFOUND: return "Member not found";
        case DISP_E_PARAMNOTFOUND: return "Parameter not found";
        case DISP_E_TYPEMISMATCH: return "Type mismatch";
        case DISP_E_UNKNOWNNAME: return "Unknown name";
        case DISP_E_NONAMEDARGS: return "No named arguments";
        case DISP_E_EXCEPTION: return "Exception occurred";
        case DISP_E_OVERFLOW: return "Out of present range";
        case DISP_E_BADPARAMCOUNT: return "Invalid number of parameters";
        case CLASS_E_NOAGGREGATION: return "Class does not support aggregation";
        case CLASS_E_CLASSNOTAVAILABLE: return "Class factory cannot supply the requested class";
        case REGDB_E_CLASSNOTREG: return "Class not registered";
        case CO_E_CLASSSTRING: return "Invalid class string";
        case CO_E_DLLNOTFOUND: return "Module for the class not found";
        case CO_E_ERRORINDLL: return "Error in the module of the class";
        case CAT_E_CATIDNOEXIST: return "Category does not exist";
        case CAT_E_NODESCRIPTION: return "Category has no description in this locale";
        case CONNECT_E_NOCONNECTION: return "No such connection";
        case CONNECT_E_ADVISELIMIT: return "The connection point admits no further sink";
        case CONNECT_E_CANNOTCONNECT: return "The sink does not support the connection interface";
        default: break;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "Error 0x%08X", static_cast<unsigned>(hr));
    return buf;
}

void SetErrorInfo(HRESULT code, std::string text) {
    tError.code = code;
    tError.text = std::move(text);
    tError.set = true;
}

void ClearErrorInfo() {
    tError.set = false;
    tError.text.clear();
}

bool TakeErrorInfo(HRESULT code, std::string& text) {
    if (!tError.set || tError.code != code) return false;
    text = std::move(tError.text);
    ClearErrorInfo();
    return true;
}

void OleCheck(HRESULT hr) {
    if (SUCCEEDED(hr)) return;
    std::string text;
    if (!TakeErrorInfo(hr, text) || text.empty()) text = HResultText(hr);
    throw EOleError(text, hr);
}

HRESULT HandleException() noexcept {
    HRESULT code = E_FAIL;
    try {
        try {
            throw;
        } catch (const EOleError& e) {
            code = FAILED(e.ErrorCode()) ? e.ErrorCode() : E_FAIL;  // never a failure reported as success
            SetErrorInfo(code, e.what());
        } catch (const std::bad_alloc&) {
            code = E_OUTOFMEMORY;
            SetErrorInfo(code, HResultText(code));
        } catch (const std::exception& e) {
            SetErrorInfo(code, e.what());
        } catch (...) {
            SetErrorInfo(code, HResultText(code));
        }
    } catch (...) {
        // Recording the text itself failed; the code still tells the caller.
    }
    return code;
}

GUID StringToGUID(std::string_view text) {
    GUID g;
    if (!TryStringToGUID(text, g)) throw EOleError(HResultText(CO_E_CLASSSTRING), CO_E_CLASSSTRING);
    return g;
}

}  // namespace tolver
