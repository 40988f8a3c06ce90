// The parameter form, seen from the record: controls addressed by id, texts as GBK bytes. The window
// implements IParamForm over its Qt controls; tests implement it over a map. ShowDeviceParams and
// CollectDeviceParams move one DeviceParams record through it in the order the device's form expects.
#pragma once

#include <cstddef>
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
    enum class Reason { TooLong, NotGbk } reason;
    // The most text bytes the control's field takes (width - 1); 0 for controls that feed no text field.
    std::size_t maxBytes;

    bool operator==(const CollectRefusal&) const = default;
};

// Writes every form control that shows a field of params, in the device form's order.
void ShowDeviceParams(const DeviceParams& params, IParamForm& form);

// Rebuilds held from the form: firmware_version kept, everything not on the form zero, checksum last.
// On a refusal it stops at that control without reading the later ones: held then keeps the fields read
// before it and zeros behind, checksum included. nullopt means held is complete and ready to send.
std::optional<CollectRefusal> CollectDeviceParams(IParamForm& form, DeviceParams& held);

// The hidden unlock of the device-type combo: a double-click on its label with Ctrl held enables it.
void OnDeviceTypeLabelDblClk(bool ctrlDown, IParamForm& form);
