// Feeds every seed of one corpus folder to a fuzz target's entry point once, without libFuzzer, so the
// seeds guard the target's properties in every ordinary test run. A broken property aborts.
#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
    const QFileInfoList seeds = QDir(QString::fromLocal8Bit(argv[argc - 1])).entryInfoList(QDir::Files);
    for (const QFileInfo &seed : seeds) {
        QFile file(seed.filePath());
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray data = file.readAll();
        std::fprintf(stderr, "%s\n", qPrintable(seed.fileName()));
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size()));
    }
    // No seeds means the corpus went missing, which must not pass for a clean run.
    return argc == 2 && !seeds.isEmpty() ? 0 : 1;
}
