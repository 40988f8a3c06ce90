// The device's cellular module as the command line reaches it: one AT command at a time through the
// port's session, each answer recognised by content like every other (AnswerKind::Module), so an echo of
// the command or a unit's log text around it cannot end an answer early.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "cli/device_session.h"
#include "modem/diagnosis.h"

class CSessionModuleLink final : public IModuleLink {
  public:
    // stopping: once true (Ctrl-C), no further command is sent and every Ask answers nullopt.
    CSessionModuleLink(CDeviceSession& session, std::function<bool()> stopping);

    std::optional<std::string> Ask(std::string_view atCommand) override;

    // The port went away during an Ask.
    bool Lost() const { return m_lost; }

  private:
    CDeviceSession& m_session;
    std::function<bool()> m_stopping;
    bool m_lost = false;
};

// IMEI, ICCID (with its fallbacks), IMSI and the module's firmware, for a report row. Asked once each;
// a field stays empty where the module gives no readable answer, and after the first query that gets no
// answer at all the rest are not asked: a unit that does not pass commands on would cost each its time.
ModuleIdentity AskModuleIdentity(IModuleLink& link);
