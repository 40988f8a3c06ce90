// The parameter form, seen from the record: controls addressed by id, texts as GBK bytes. The window
// implements IParamForm over its Qt controls; tests implement it over a map. ShowDeviceParams and
// CollectDeviceParams move one DeviceParams record through it in the order the device's form expects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/device_params.h"

class IParamForm {
  public:
    virtual ~IParamForm() = default;
    // The control's text in GBK; nullopt when it holds a character that GBK cannot encode.
    virtual std::optional<std::string> GetText(int id) const = 0;
    virtual void SetText(int id, std::string_view gbk) = 0;
    virtual void EnableControl(int id, bool enable) = 0;
    // Combo boxes only: empty the drop-down list / append one item (the edit text is untouched).
    virtual void ResetList(int id) = 0;
    virtual void AddListItem(int id, std::string_view gbk) = 0;
};

// Why a collection stopped; the window decides whether to tell the user.
struct CollectRefusal {
    int controlId;
    enum class Reason { TooLong, NotGbk, NotNumber, OutOfRange, NotParity } reason;
    // The most text bytes the control's field takes (width - 1); 0 for controls that feed no text field.
    std::size_t maxBytes;
    // NotNumber and OutOfRange: the numbers the field takes.
    int64_t min = 0;
    int64_t max = 0;

    bool operator==(const CollectRefusal&) const = default;
};

// Checks beyond the device form's own collection, which cuts numbers to their field's width, reads text
// that is no number as 0 and sends parity's first byte as typed. With every check off a form collects
// exactly as that form always did (the command line builds records so); the window turns them on, so that
// what it sends is what the user sees or nothing.
struct CollectRules {
    // Numbers are whole decimal numbers within their field's limits in the field table (data bits 5-8,
    // stop bits 0-2, a positive baud rate, 0-255 and 0-65535 for the others); anything else is refused.
    bool checkNumbers = false;
    // Parity is NONE, ODD or EVEN in any case, sent as the list's upper-case letter; anything else is
    // refused.
    bool checkParity = false;
};
inline constexpr CollectRules kCheckedCollect{true, true};

// Writes every form control that shows a field of params, in the device form's order.
void ShowDeviceParams(const DeviceParams& params, IParamForm& form);

// Rebuilds held from the form: firmware_version kept, everything not on the form zero, checksum last.
// On a refusal it stops at that control without reading the later ones: held then keeps the fields read
// before it and zeros behind, checksum included. nullopt means held is complete and ready to send.
std::optional<CollectRefusal> CollectDeviceParams(IParamForm& form, DeviceParams& held,
                                                  const CollectRules& rules = {});

// What goes with the device type when a record is shown, bar the combo's own text: the three labels
// named for it and remote links 2-6 enabled for a DTU, greyed for the temperature/humidity device.
void ShowDeviceTypeLayout(bool tempHumidity, IParamForm& form);
// The parity byte a checked collection stores for text: NONE, ODD or EVEN in any case, blanks around.
std::optional<uint8_t> ParityByte(std::string_view gbk);
// The device type a collection reads from the combo's text.
bool IsTempHumidityText(std::string_view gbk);

// The hidden unlock of the device-type combo: a double-click on its label with Ctrl held enables it.
void UnlockDeviceTypeOnCtrlDoubleClick(bool ctrlDown, IParamForm& form);
