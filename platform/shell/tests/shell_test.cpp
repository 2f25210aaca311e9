#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWidget>
#include <fstream>
#include <memory>

#include "platform/shell/ionlyonce.h"
#include "platform/shell/versioninfo.h"

using namespace tolver;

namespace {

constexpr int kChildRefused = 3;
constexpr const char* kChildSwitch = "--only-once-child";

std::string UniqueName(const char* what) { return std::string("tolver-test-") + what + "-" + std::to_string(::getpid()); }

// Starts this test program as a second instance with the given lock name; its exit
// code tells whether the guard refused it.
int RunSecondInstance(const std::string& name) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {kChildSwitch, QString::fromStdString(name)});
    if (!child.waitForFinished(60000)) return -1;
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

TEST(OnlyOnce, SecondInstanceIsRefusedAndBringsTheFirstForward) {
    const std::string name = UniqueName("guard");
    QWidget window;
    window.showMinimized();
    TIOnlyOnce first(&window, name);
    EXPECT_FALSE(first.AnotherInstance());
    EXPECT_EQ(first.UniqueString(), name);
    QSignalSpy activated(&first, &TIOnlyOnce::activated);

    EXPECT_EQ(RunSecondInstance(name), kChildRefused);
    ASSERT_TRUE(activated.count() == 1 || activated.wait(30000));
    EXPECT_FALSE(window.isMinimized());
    // Another name is another program.
    EXPECT_EQ(RunSecondInstance(UniqueName("other")), 0);
    // Within one process a second guard of the same name is refused too.
    EXPECT_TRUE(TIOnlyOnce(nullptr, name).AnotherInstance());
}

TEST(OnlyOnce, LockGoesWithTheGuard) {
    const std::string name = UniqueName("released");
    {
        TIOnlyOnce first(nullptr, name);
        ASSERT_FALSE(first.AnotherInstance());
    }
    EXPECT_EQ(RunSecondInstance(name), 0);
    // Without a name the program's own file name is taken.
    const TIOnlyOnce unnamed(nullptr);
    EXPECT_EQ(unnamed.UniqueString(), QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString());
}

// Sets an environment variable for the scope, restoring it after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        if (value.isNull()) qunsetenv(name); else qputenv(name, value);
    }
    ~ScopedEnv() {
        if (had_) qputenv(name_, old_); else qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

TEST(OnlyOnce, TheLockGoesOnlyIntoAFolderOfTheUsersOwn) {
    QTemporaryDir tmp, cache, runtime;
    const ScopedEnv tmpdir("TMPDIR", tmp.path().toLocal8Bit());
    const ScopedEnv cacheHome("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    const QString uid = QString::number(::getuid());
    const std::string shared = (tmp.path() + "/tolver-" + uid).toStdString();
    const std::string own = (cache.path() + "/tolver-" + uid).toStdString();
    const auto mode = [](const std::string& dir) {
        struct stat st{};
        return ::stat(dir.c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
    };
    {
        // A private runtime folder is taken; one others may write to is not.
        const ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        ::chmod(runtime.path().toLocal8Bit().constData(), 0700);
        EXPECT_EQ(TIOnlyOnce::LockFolder(), runtime.path().toStdString());
        ::chmod(runtime.path().toLocal8Bit().constData(), 0777);
        EXPECT_EQ(TIOnlyOnce::LockFolder(), shared);
        ::rmdir(shared.c_str());
    }
    const ScopedEnv xdg("XDG_RUNTIME_DIR", QByteArray());
    // The temporary folder's one is made private.
    EXPECT_EQ(TIOnlyOnce::LockFolder(), shared);
    EXPECT_EQ(mode(shared), 0700u);
    // Pre-made by someone else (writable by all, or owned by another user): refused,
    // and the guard still works from the user's cache folder.
    ::chmod(shared.c_str(), 0777);
    EXPECT_EQ(TIOnlyOnce::LockFolder(), own);
    EXPECT_EQ(mode(own), 0700u);
    if (::getuid() == 0) {
        ::chmod(shared.c_str(), 0700);
        ASSERT_EQ(::chown(shared.c_str(), 65534, 65534), 0);
        EXPECT_EQ(TIOnlyOnce::LockFolder(), own);
    }
    const std::string name = UniqueName("refused-folder");
    TIOnlyOnce first(nullptr, name);
    EXPECT_FALSE(first.AnotherInstance());
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(own + "/" + name + ".lock")));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(shared + "/" + name + ".lock")));
    EXPECT_TRUE(TIOnlyOnce(nullptr, name).AnotherInstance());
}

TEST(VersionInfo, DeliverablesHaveTheCompiledInStrings) {
    QTemporaryDir dir;
    const std::string spooler = (dir.path() + "/Spooler").toStdString();
    std::ofstream(spooler) << "x";
    const TIVersionInfo info(spooler);
    EXPECT_TRUE(info.Loaded());
    EXPECT_EQ(info.ProductVersion(), "1.0.0");  // the build's version, and the file version in four parts
    EXPECT_EQ(info.FileVersion(), "1.0.0.0");
    EXPECT_EQ(info.ProductName(), "Тольвер");
    EXPECT_FALSE(info.LegalCopyright().empty());
    EXPECT_EQ(info.GetString("originalfilename"), "Spooler");
    EXPECT_EQ(info.GetString("NoSuchValue"), "");
    // A file that is none of the system's, or no file at all, has no block.
    for (const std::string& other : {QCoreApplication::applicationFilePath().toStdString(), dir.path().toStdString() + "/Dalvern.csh"}) {
        SCOPED_TRACE(other);
        const TIVersionInfo none(other);
        EXPECT_FALSE(none.Loaded());
        for (const char* v : {"FileVersion", "LegalCopyright", "ProductVersion", "ProductName"}) EXPECT_EQ(none.GetString(v), "");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QTemporaryDir> runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        runtime = std::make_unique<QTemporaryDir>();
        qputenv("XDG_RUNTIME_DIR", runtime->path().toLocal8Bit());
    }
    QApplication app(argc, argv);
    if (argc == 3 && std::string(argv[1]) == kChildSwitch) {
        const TIOnlyOnce guard(nullptr, argv[2]);
        return guard.AnotherInstance() ? kChildRefused : 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
