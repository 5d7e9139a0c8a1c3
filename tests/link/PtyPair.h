#pragma once

// A pseudo-terminal whose master end the test holds, standing in for the box
// at the far end of a serial line.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace quarn::test {

class PtyPair {
public:
    PtyPair() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return;
        const char* name = ::ptsname(m_master);
        if (!name) return;
        m_slave = name;
        // Raw from the start: in line mode with echo, bytes the test writes
        // before the port opens would come back to it.
        termios t{};
        ::tcgetattr(m_master, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_master, TCSANOW, &t);
    }
    ~PtyPair() { CloseMaster(); }

    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Valid() const { return m_master >= 0 && !m_slave.empty(); }
    const std::string& SlavePath() const { return m_slave; }

    void Write(const std::string& bytes) const {
        (void)!::write(m_master, bytes.data(), bytes.size());
    }

    // Bytes the program sent, waiting at most timeoutMs for the first.
    std::string Read(int timeoutMs) const {
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return {};
        char buf[256];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    }

    // The rate the program set on its end, read through the master.
    speed_t SlaveSpeed() const {
        termios t{};
        ::tcgetattr(m_master, &t);
        return ::cfgetospeed(&t);
    }

    // The far end goes away, as when a USB adapter is pulled.
    void CloseMaster() {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    std::string m_slave;
};

}  // namespace quarn::test
