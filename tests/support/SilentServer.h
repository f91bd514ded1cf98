#pragma once
// A server on 127.0.0.1 that takes connections and never says a word, as a
// results server behind a pulled cable looks to the bench: the kernel
// completes each connection into the listening socket's queue and keeps
// what the client sends; nobody reads it or answers.

#include <QString>

namespace ktv::test {

class SilentServer
{
  public:
    SilentServer();
    ~SilentServer();
    SilentServer(const SilentServer &) = delete;
    SilentServer &operator=(const SilentServer &) = delete;

    bool ok() const { return port_ > 0; }
    int port() const { return port_; }
    // "host=127.0.0.1 port=N dbname=results user=bench"
    QString setting() const;

  private:
    int socket_ = -1;
    int port_ = 0;
};

} // namespace ktv::test
