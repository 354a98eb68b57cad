#pragma once

// The resolver and ICMP echo of the Ping window's tests: names resolve to the addresses the test sets, every echo is
// recorded, and a sweep can be held at one echo so that the test acts while it runs.

#include "hosts/service_names.h"
#include "platform/net.h"
#include "util/text.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace pingtest {

/// The names the Ping window lists, row by row.
inline std::vector<std::string> expectedRowNames() {
    std::vector<std::string> names{std::string(hosts::kServiceMainHost)};
    for (const std::string& name : util::splitText(hosts::kServiceHostList, util::kCrLf))
        names.push_back(name);
    return names;
}

struct EchoCall {
    std::string host;
    int timeoutMs = 0;
};

class ScriptedNetwork {
public:
    ScriptedNetwork() {
        platform::setResolverHook([this](const std::string& name) {
            std::lock_guard lock(mutex_);
            const auto found = addresses_.find(name);
            return found == addresses_.end() ? std::string() : found->second;
        });
        platform::setPingHook([this](const std::string& host, int timeoutMs) {
            std::function<void(int)> onEcho;
            int index = 0;
            {
                std::unique_lock lock(mutex_);
                index = static_cast<int>(calls_.size());
                calls_.push_back({host, timeoutMs});
                onEcho = onEcho_;
                if (index == holdAt_) {
                    held_ = true;
                    changed_.notify_all();
                    changed_.wait(lock, [this, index] { return holdAt_ != index; });
                    held_ = false;
                }
            }
            if (onEcho)
                onEcho(index);
            return replyFor(host);
        });
    }

    ~ScriptedNetwork() {
        release();
        platform::setResolverHook({});
        platform::setPingHook({});
    }

    ScriptedNetwork(const ScriptedNetwork&) = delete;
    ScriptedNetwork& operator=(const ScriptedNetwork&) = delete;

    /// Every listed name resolves to prefix + its 1-based place among the distinct names; the names given stay
    /// unresolved.
    void assignAddresses(const std::string& prefix, const std::vector<std::string>& unresolved = {}) {
        std::lock_guard lock(mutex_);
        addresses_.clear();
        int next = 1;
        for (const std::string& name : expectedRowNames()) {
            if (!addresses_.contains(name))
                addresses_[name] = prefix + std::to_string(next++);
        }
        for (const std::string& name : unresolved)
            addresses_.erase(name);
    }

    /// The address the name resolves to now; empty when it does not resolve.
    [[nodiscard]] std::string addressOf(const std::string& name) const {
        std::lock_guard lock(mutex_);
        const auto found = addresses_.find(name);
        return found == addresses_.end() ? std::string() : found->second;
    }

    /// The echo's answer for an address: its last number when odd, no reply (-1) when even or not an address.
    [[nodiscard]] static int replyFor(const std::string& host) {
        const auto dot = host.rfind('.');
        if (dot == std::string::npos)
            return -1;
        const int last = util::textToInt(host.substr(dot + 1));
        return last % 2 == 1 ? last : -1;
    }

    /// The echo with this 0-based index (counted over the network's life) waits until release().
    void holdAt(int index) {
        std::lock_guard lock(mutex_);
        holdAt_ = index;
    }
    /// Waits until an echo is held; false after five seconds without.
    [[nodiscard]] bool waitUntilHeld() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [this] { return held_; });
    }
    void release() {
        std::lock_guard lock(mutex_);
        holdAt_ = -1;
        changed_.notify_all();
    }

    /// Runs on the sweep thread after each echo was recorded, with its index.
    void onEcho(std::function<void(int index)> action) {
        std::lock_guard lock(mutex_);
        onEcho_ = std::move(action);
    }

    [[nodiscard]] std::vector<EchoCall> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, std::string> addresses_;
    std::vector<EchoCall> calls_;
    std::function<void(int)> onEcho_;
    int holdAt_ = -1;
    bool held_ = false;
};

} // namespace pingtest
