// libFuzzer entry: arbitrary byte streams, cut into arbitrary chunks, through
// the tool's receive path. One application and one window live for the whole
// run, as in the tool, so state carried from input to input is exercised too.

#include "fuzz/receive_path_harness.h"
#include "link/frame_builder.h"
#include "model/status_layout.h"

#include <QtCore/QByteArray>
#include <QtCore/QtGlobal>
#include <QtWidgets/QApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

int application_argc = 1;
char application_name[] = "fuzz_receive_path";
char *application_argv[] = {application_name, nullptr};

// The receive path writes a debug line per bad frame; at fuzzing speed that
// would be most of the run's time. Fatal messages still end the process.
void quiet_messages(QtMsgType type, const QMessageLogContext &, const QString &)
{
    if (type == QtFatalMsg)
        std::abort();
}

Receive_path_harness &harness()
{
    static QApplication *application = [] {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
        qInstallMessageHandler(quiet_messages);
        return new QApplication(application_argc, application_argv);
    }();
    Q_UNUSED(application)
    static Receive_path_harness *instance = new Receive_path_harness;
    return *instance;
}

// The toolkit loads fonts and caches on first use and keeps them for good;
// drawing every panel once before fuzzing keeps those allocations out of the
// leak check that libFuzzer runs around each input.
void warm_up(Receive_path_harness &target)
{
    constexpr uint8_t all_cages = 0x3F;
    constexpr uint8_t every_direction_rx_tx = 0x90; // channel 1 Rx, channel 2 Tx, code 0
    const uint8_t versions[] = {status::version_1_0, status::version_1_1, status::version_2_0};
    for (const uint8_t version : versions) {
        uint8_t payload[38] = {version, 0x7F, 0x0F, all_cages};
        for (int cage = 0; cage < status::cage_count; ++cage)
            payload[status::first_block_offset + cage * status::sfp_block_size(version)] =
                every_direction_rx_tx;
        const std::size_t length = status::expected_payload_size(payload);
        // A plan of one 128-byte chunk followed by a watchdog tick.
        QByteArray input("\x01\xFF", 2);
        input += Frame_builder::build_status(payload, length);
        target.run(input);
        target.run(QByteArray("\x01\x80", 2));
    }
}

} // namespace

// fontconfig keeps the buffers of the configuration it parses when the first
// font is looked up; nothing of ours can release them. libFuzzer's leak check
// after an input would otherwise blame whichever input comes first.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

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
