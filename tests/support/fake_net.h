// A NetBIOS wrapper for tests: requests in memory, results chosen by the
// test, and a record of every call. Freeing or reading a request after it
// was freed is recorded as a fault; one it never gave out is read as it
// stands and not freed, as the real library tells its own by a mark.
#pragma once

#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/channel.h"

namespace varnet {

class FakeNet : public NetApi {
 public:
  struct Request {
    unsigned command = 0;
    RequestView view;
    std::uint8_t data[1024] = {};
    // The wrapper's stamp, when a test gives one.
    bool timed = false;
    Arrival arrival;
  };
  struct Sent {
    std::string destination;
    std::string data;
    std::uint8_t number;
  };

  // When set, each call is also written there (a host's event list).
  std::vector<std::string>* mirror = nullptr;

  // Results in order; when a list runs out: 0 for adds, 0xFF for posts and
  // sends.
  std::deque<std::uint8_t> addResults;
  std::deque<std::uint8_t> receiveResults;
  std::deque<std::uint8_t> sendResults;
  int deleteResult = 0;
  std::uint8_t nextNumber = 1;

  std::vector<std::string> calls;
  std::vector<std::string> reports;  // "label|code"
  std::vector<Sent> sent;
  std::vector<Request*> receives;    // posted receives that are live, oldest first
  std::vector<Request*> sends;       // every send request given out
  std::set<const void*> unreadable;
  std::vector<std::string> faults;   // double frees, frees of unknown requests
  int frees = 0;

  std::uint8_t Reset(int sessions, int names, std::uint8_t adapter) override {
    Call("Reset " + std::to_string(sessions) + " " + std::to_string(names) + " " +
         std::to_string(adapter));
    return 0;
  }
  void CopyName(char* field, const char* text) override {
    std::snprintf(field, 17, "%-16.16s", text);
  }
  std::uint8_t AddGroupName(char* field, std::uint8_t* number, std::uint8_t adapter) override {
    std::uint8_t r = 0;
    if (!addResults.empty()) {
      r = addResults.front();
      addResults.pop_front();
    }
    if (r == 0) *number = nextNumber++;
    Call("AddGroupName " + Trim(field) + " " + std::to_string(adapter) + " -> " +
         std::to_string(r == 0 ? *number : 0));
    return r;
  }
  int DeleteName(char* field, std::uint8_t number, std::uint8_t adapter) override {
    Call("DeleteName " + Trim(field) + " " + std::to_string(number) + " " +
         std::to_string(adapter));
    // The wrapper releases the name's pending receives.
    for (auto it = receives.begin(); it != receives.end();) {
      if ((*it)->view.number == number) {
        Release(*it);
        it = receives.erase(it);
      } else {
        ++it;
      }
    }
    return deleteResult;
  }
  std::uint8_t ReceiveDG(std::uint16_t length, std::uint8_t number, NetRequest* request,
                         std::uint8_t adapter) override {
    std::uint8_t r = 0xFF;
    if (!receiveResults.empty()) {
      r = receiveResults.front();
      receiveResults.pop_front();
    }
    Request* q = New(kNcbDatagramReceive);
    q->view.number = number;
    q->view.length = length;
    q->view.retcode = r;
    *request = q;
    if (r == 0 || r == 0xFF) receives.push_back(q);
    Call("ReceiveDG " + std::to_string(length) + " " + std::to_string(number) + " " +
         std::to_string(adapter));
    return r;
  }
  std::uint8_t SendDG(const void* data, std::uint16_t length, const char* destination,
                      std::uint8_t number, NetRequest* request, std::uint8_t) override {
    std::uint8_t r = 0xFF;
    if (!sendResults.empty()) {
      r = sendResults.front();
      sendResults.pop_front();
    }
    Request* q = New(kNcbDatagramSend);
    q->view.retcode = r == 0xFF ? 0 : r;
    *request = q;
    sends.push_back(q);
    sent.push_back({std::string(destination, std::strlen(destination)),
                    std::string(static_cast<const char*>(data), length), number});
    return r;
  }
  void NcbFree(NetRequest request) override {
    ++frees;
    auto* q = static_cast<Request*>(request);
    if (live_.erase(q) == 0) {
      if (freed_.count(q) != 0) faults.push_back("double free");
      return;
    }
    freed_.insert(q);
    for (auto it = receives.begin(); it != receives.end(); ++it) {
      if (*it == q) {
        receives.erase(it);
        break;
      }
    }
  }
  void RetCode(const char* label, std::uint8_t code) override {
    reports.push_back(std::string(label) + "|" + std::to_string(code));
  }
  void CmdCode(const char* label, std::uint8_t code) override {
    reports.push_back(std::string(label) + "|" + std::to_string(code));
  }
  bool ArrivalOf(NetRequest request, Arrival& arrival) override {
    const auto* q = static_cast<const Request*>(request);
    if (q == nullptr || !q->timed) return false;
    arrival = q->arrival;
    return true;
  }
  bool Read(NetRequest request, RequestView& view) override {
    if (unreadable.count(request) != 0) return false;
    auto* q = static_cast<Request*>(request);
    if (q == nullptr) return false;
    if (freed_.count(q) != 0) {
      faults.push_back("read of a request that was freed");
      return false;
    }
    view = q->view;
    return true;
  }

  // The oldest live receive of a name number takes a datagram; returns it
  // for the completion message (nullptr when none is posted).
  Request* Arrive(std::uint8_t number, const std::string& data, std::uint8_t retcode = 0) {
    for (auto it = receives.begin(); it != receives.end(); ++it) {
      Request* q = *it;
      if (q->view.number != number) continue;
      receives.erase(it);
      std::memcpy(q->data, data.data(), std::min(data.size(), sizeof q->data));
      q->view.buffer = q->data;
      q->view.length = static_cast<std::uint16_t>(data.size());
      q->view.retcode = retcode;
      return q;
    }
    return nullptr;
  }
  int Posted(std::uint8_t number) const {
    int n = 0;
    for (const Request* q : receives) n += q->view.number == number ? 1 : 0;
    return n;
  }
  bool Live(const void* request) const { return live_.count(static_cast<Request*>(const_cast<void*>(request))) != 0; }
  std::size_t LiveCount() const { return live_.size(); }

 private:
  Request* New(unsigned command) {
    all_.push_back(std::make_unique<Request>());
    Request* q = all_.back().get();
    q->command = command;
    live_.insert(q);
    return q;
  }
  void Release(Request* q) {
    live_.erase(q);
    freed_.insert(q);
  }
  static std::string Trim(const char* field) {
    std::string s(field);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }
  void Call(const std::string& text) {
    calls.push_back(text);
    if (mirror != nullptr) mirror->push_back(text);
  }

  // Gives out a receive as an earlier registration pass would have: live,
  // but in no table of the tool.
 public:
  Request* Foreign(std::uint8_t number, const std::string& data) {
    Request* q = New(kNcbDatagramReceive);
    std::memcpy(q->data, data.data(), std::min(data.size(), sizeof q->data));
    q->view = RequestView{0, number, q->data, static_cast<std::uint16_t>(data.size())};
    return q;
  }
  // The loss counters the library reports.
  NetLoss loss;
  bool keepsLoss = true;
  bool Loss(NetLoss& out) override {
    out = loss;
    return keepsLoss;
  }

 private:
  std::vector<std::unique_ptr<Request>> all_;
  std::set<Request*> live_;
  std::set<Request*> freed_;
};

}  // namespace varnet
