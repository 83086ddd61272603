#include "Console.h"

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Console {

void out(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void out(const QString& text) {
    out(text.toUtf8());
}

void err(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

bool stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

int columns() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace Console
