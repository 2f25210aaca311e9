#pragma once
// The objects of the automation benchmarks, built in a translation unit of their own
// so that the calls measured cannot be inlined into the loops.

#include "platform/com/connpoint.h"

namespace tolver::bench {

class IBenchAuto : public IDispatch {
public:
    static constexpr GUID IID = MakeGUID("{7B2E0F00-0000-4000-8000-000000000001}");
    using Base = IDispatch;
    static const InterfaceInfo& TypeInfo();

    virtual HRESULT AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt,
                              std::int32_t* Value) = 0;

protected:
    ~IBenchAuto() = default;
};

inline constexpr GUID IID_IBenchEvents = MakeGUID("{7B2E0F00-0000-4000-8000-000000000002}");

// A dual object with one events connection point.
ComPtr<IUnknown> MakeBenchAuto();
// Raises OnCommandResult-like event 6 (CommandID, 0) on the object's sink.
HRESULT RaiseBenchEvent(IUnknown* object, std::int32_t id);
// A sink that adds up the arguments of event 6.
ComPtr<IUnknown> MakeBenchSink(std::int64_t& total);

}  // namespace tolver::bench
