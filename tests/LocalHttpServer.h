#pragma once

#include <httplib.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace pivorel::test {

// A real HTTP server on 127.0.0.1 on a free port, running on its own thread for the life
// of the object. Register handlers on `server` before calling start().
class LocalHttpServer {
  public:
    httplib::Server server;

    void start() {
        port_ = server.bind_to_any_port("127.0.0.1");
        if (port_ <= 0) throw std::runtime_error("cannot bind a local port");
        thread_ = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ~LocalHttpServer() {
        server.stop();
        if (thread_.joinable()) thread_.join();
    }

    int port() const { return port_; }
    std::string url(const std::string& path = "") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

  private:
    int port_ = 0;
    std::thread thread_;
};

}  // namespace pivorel::test
