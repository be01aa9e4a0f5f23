#pragma once
// The tests' one fault injector: it sees every file operation, counts those that
// match, and at the chosen one (or at every one) fails it with an error, ends the
// process as a power cut would, or lets only part of a write reach the file and
// then fails or ends. Installed while it lives.

#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/FileError.h"
#include "platform/RandomAccessFile.h"

class InjectedFaults : public RandomAccessFile::FaultInjector {
  public:
    enum class Action { None, Fail, Stop, TornFail, TornStop };
    using Match = std::function<bool(Op, const std::string&)>;
    static constexpr Action kFaults[] = {Action::Fail, Action::Stop, Action::TornFail,
                                         Action::TornStop};
    static bool Stops(Action a) { return a == Action::Stop || a == Action::TornStop; }
    static bool Tears(Action a) { return a == Action::TornFail || a == Action::TornStop; }

    // `nth` counts matching operations from 1; 0 strikes at every one.
    explicit InjectedFaults(Action action = Action::None, int nth = 0, Match match = {},
                            int error = ENOSPC)
        : m_action(action), m_nth(nth), m_match(std::move(match)), m_error(error) {
        RandomAccessFile::SetFaultInjector(this);
    }
    ~InjectedFaults() override { RandomAccessFile::SetFaultInjector(nullptr); }
    InjectedFaults(const InjectedFaults&) = delete;
    InjectedFaults& operator=(const InjectedFaults&) = delete;

    static Match On(Op op) {
        return [op](Op o, const std::string&) { return o == op; };
    }
    static Match On(Op op, std::string pathPart) {
        return [op, part = std::move(pathPart)](Op o, const std::string& path) {
            return o == op && path.find(part) != std::string::npos;
        };
    }

    void Before(Op op, const std::string& path) override {
        seen.emplace_back(op, path);
        m_tearNext = false;
        if (m_match && !m_match(op, path)) return;
        ++count;
        if (m_action == Action::None || (m_nth != 0 && count != m_nth)) return;
        if (Tears(m_action)) {
            m_tearNext = op == Op::Write;  // other operations cannot tear: they go whole
            if (m_tearNext) return;
        }
        Strike(path);
    }
    // Storage tears a write between sectors, never inside one: the cut falls on
    // the 512-byte boundary nearest the middle (nothing of a write inside one sector).
    std::size_t TornWriteLength(std::uint64_t position, std::size_t n) override {
        if (!m_tearNext) return n;
        const std::uint64_t middle = position + n / 2;
        std::uint64_t cut = middle / 512 * 512;
        if (cut <= position) cut = (middle + 511) / 512 * 512;
        return cut > position && cut < position + n ? static_cast<std::size_t>(cut - position) : 0;
    }
    void AfterTornWrite(const std::string& path) override { Strike(path); }

    int Seen(Op op, const std::string& path) const {
        int n = 0;
        for (const auto& [o, p] : seen) n += o == op && p == path;
        return n;
    }

    int count = 0;                                 // the matching operations so far
    std::vector<std::pair<Op, std::string>> seen;  // every operation, in order

  private:
    void Strike(const std::string& path) {
        if (Stops(m_action)) ::_exit(0);  // no clean-up of any kind: as a power cut
        throw FileError::FromErrno(path, m_error);
    }
    Action m_action;
    int m_nth;
    Match m_match;
    int m_error;
    bool m_tearNext = false;
};
