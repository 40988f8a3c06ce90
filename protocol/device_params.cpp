#include "protocol/device_params.h"

#include <algorithm>
#include <cstring>

DeviceParams DeviceParams::FromBytes(std::span<const uint8_t, kDeviceParamsSize> bytes) {
    DeviceParams params;
    std::memcpy(&params, bytes.data(), kDeviceParamsSize);
    return params;
}

int ParamChecksum(const uint8_t* data, uint16_t length) {
    int sum = 0;
    for (uint16_t i = 0; i < length; ++i) {
        sum += data[i];
    }
    return sum;
}

uint8_t RecordChecksum(const DeviceParams& params) {
    return static_cast<uint8_t>(ParamChecksum(params.Bytes().data(), kChecksumOffset) & 0xFF);
}

std::string_view FieldText(std::span<const uint8_t> field) {
    const auto end = std::find(field.begin(), field.end(), uint8_t{0});
    return {reinterpret_cast<const char*>(field.data()), static_cast<std::size_t>(end - field.begin())};
}
