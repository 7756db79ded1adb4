// Feeds every seed of one corpus folder to a fuzz target's entry point, once each, without libFuzzer: the
// seeds then guard the target's properties in every ordinary test run. A broken property aborts.
#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    LLVMFuzzerInitialize(&argc, &argv);
    const QFileInfoList seeds = QDir(folder).entryInfoList(QDir::Files, QDir::Name);
    if (seeds.isEmpty()) {
        std::fprintf(stderr, "no seeds in %s\n", qPrintable(folder));
        return 1;
    }
    for (const QFileInfo &seed : seeds) {
        QFile file(seed.filePath());
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(seed.filePath()));
            return 1;
        }
        const QByteArray data = file.readAll();
        std::printf("%s\n", qPrintable(seed.fileName()));
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size()));
    }
    return 0;
}
