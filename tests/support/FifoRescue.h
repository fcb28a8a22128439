#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Opens a FIFO for writing, once a reader waits on it, after a grace time: a reader blocked in
// open goes on. Stop ends it and says whether it had to.
class FifoRescue {
  public:
    explicit FifoRescue(const QString& fifo)
        : m_thread([this, name = QFile::encodeName(fifo)] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (m_stop.wait_for(lock, std::chrono::seconds(2), [this] { return m_stopped; }))
                  return;
              // No reader yet: ENXIO. Try until one comes or the test is done.
              while (!m_stopped) {
                  const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
                  if (fd >= 0) {
                      ::close(fd);
                      m_rescued = true;
                      return;
                  }
                  m_stop.wait_for(lock, std::chrono::milliseconds(20));
              }
          }) {}
    ~FifoRescue() { Stop(); }
    bool Stop() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopped = true;
        }
        m_stop.notify_all();
        if (m_thread.joinable()) m_thread.join();
        return m_rescued;
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_stop;
    bool m_stopped = false;
    bool m_rescued = false;
    std::thread m_thread;
};
