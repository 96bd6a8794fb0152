// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform.h"

namespace tonalyx::shell {

// The platform services of a running program: real modal boxes and real pauses.
class QtPlatform final : public Platform {
public:
    void showMessage(const QString& text) override;
    void showError(const QString& text) override;
    void printNotice(const QString& line) override;
    void sleep(std::chrono::milliseconds duration) override;
    void after(std::chrono::milliseconds delay, std::function<void()> then) override;
    std::filesystem::path executablePath() const override;
    std::filesystem::path configurationHome() const override;
};

} // namespace tonalyx::shell
