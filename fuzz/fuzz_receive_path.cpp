// libFuzzer entry: arbitrary byte streams, cut into arbitrary chunks, through
// a session's receive path and link watchdog. No widgets: the session needs
// only the core application object.

#include "fuzz/receive_path_harness.h"
#include "protocol/frame_builder.h"
#include "protocol/status_encoder.h"

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>
#include <QtCore/QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

int application_argc = 1;
char application_name[] = "fuzz_receive_path";
char *application_argv[] = {application_name, nullptr};

// The session writes a debug line per bad frame, and a warning per control
// frame it writes to the closed port; at fuzzing speed that would be most of
// the run's time. Fatal messages still end the process.
void quiet_messages(QtMsgType type, const QMessageLogContext &, const QString &)
{
    if (type == QtFatalMsg)
        std::abort();
}

Receive_path_harness &harness()
{
    static QCoreApplication *application = [] {
        qInstallMessageHandler(quiet_messages);
        return new QCoreApplication(application_argc, application_argv);
    }();
    Q_UNUSED(application)
    static Receive_path_harness *instance = new Receive_path_harness;
    return *instance;
}

// Qt sets up some of its tables on first use and keeps them for good; one
// acknowledged status of each version with every cage fitted, then a watchdog
// tick that announces the 2.0 unit, keeps those allocations out of the leak
// check that libFuzzer runs around each input.
void warm_up(Receive_path_harness &target)
{
    for (const uint8_t version :
         {Protocol_version::v1_0, Protocol_version::v1_1, Protocol_version::v2_0}) {
        Unit_status unit;
        unit.version = version;
        for (Unit_status::Cage &cage : unit.cages)
            cage.type = Unit_status::Cage_type::other;
        const QByteArray payload = Status_encoder::payload(unit, {true, true});
        // A plan of one 128-byte chunk followed by a watchdog tick.
        QByteArray input("\x01\xFF", 2);
        input += Frame_builder::build_status(reinterpret_cast<const uint8_t *>(payload.data()),
                                             static_cast<std::size_t>(payload.size()));
        target.run(input);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    warm_up(harness());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    harness().run(data, size);
    return 0;
}
