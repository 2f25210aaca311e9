#pragma once
// The operator's side of cashsim's control socket (--control SOCKET): turns the
// simulated register's mode key and waits for its answer.

#include <string>

namespace tolver {

// position: P, X, Z, П or МС. True once cashsim answered "ok" (within 5 s).
bool TurnSimulatorKey(const std::string& socketPath, const std::string& position);

}  // namespace tolver
