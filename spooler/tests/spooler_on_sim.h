#pragma once
// The spooler set up on a simulated register: a registry store of the test's own,
// the spooler's state folder beside it, cashsim on a pseudo-terminal that COMn names,
// and a driver module installed and chosen with spooler-setup. The including test
// defines CASHSIM_EXE, REGSVR_TOOL and SPOOLER_SETUP_TOOL.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QProcess>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/registry/temp_registry.h"
#include "platform/testing/run_until.h"
#include "platform/testing/shell_tool.h"
#include "spooler/mainform.h"
#include "spooler/spoolerclient.h"

namespace tolver::testutil {

class SpoolerOnSimulator : public ::testing::Test {
protected:
    static constexpr int kCom = 7;

    SpoolerOnSimulator() {
        state_ = registry.dir() / "state";
        ::setenv("TOLVER_STATE_DIR", state_.c_str(), 1);
    }
    ~SpoolerOnSimulator() override {
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            sim.waitForFinished(5000);
        }
        ::unsetenv("TOLVER_STATE_DIR");
    }

    // cashsim started with simArgs, COMn naming its pseudo-terminal, the module
    // installed and spooler-setup run with setupArgs.
    void StartSimulator(const QStringList& simArgs, const std::string& module, const std::string& setupArgs) {
        sim.start(CASHSIM_EXE, simArgs);
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(RunUntil([&] { return sim.canReadLine(); }, 10000));
        const std::string pty = QString::fromLocal8Bit(sim.readLine()).trimmed().toStdString();
        TRegistry reg(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey("\\Software\\Norvale\\Spooler\\Ports", true));
        reg.WriteString("COM" + std::to_string(kCom), pty);
        ASSERT_EQ(RunTool(REGSVR_TOOL, Quoted(module)), 0);
        ASSERT_EQ(RunTool(SPOOLER_SETUP_TOOL, setupArgs), 0);
    }

    // The link is up and the register answered the last poll.
    static bool Connected(const TfrmMain& m) { return m.Core().Link().State() == lsConnected && m.Core().Link().LastPollOk(); }

    TempRegistry registry;
    std::filesystem::path state_;
    QProcess sim;
};

// A client of the result relay whose sink records every result, in the order handed.
struct TResultClient : ISpoolerClient {
    struct Sink : ISpoolerSink {
        std::vector<std::pair<int, int>> got;
        void OnCommandResult(std::int32_t id, std::int32_t result) override { got.emplace_back(id, result); }
        // The results handed for id, in order: exactly one when all is well.
        std::vector<int> Results(int id) const {
            std::vector<int> out;
            for (const auto& [i, r] : got)
                if (i == id) out.push_back(r);
            return out;
        }
    };
    std::shared_ptr<Sink> sink = std::make_shared<Sink>();
    std::vector<std::shared_ptr<ISpoolerSink>> Sinks() const override { return {sink}; }
};

}  // namespace tolver::testutil
