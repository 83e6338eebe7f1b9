#include "core/commandframes.h"

RESET_order_struct ARM_Reset = { { 0xA4, 0xA4 }, { 0x72, 0x65, 0x73, 0x65, 0x74, 0x00 } };
APP_order_struct app_order = { { 0x00, 0x00 }, { 0x00, 0x00 } };
GPU_POWER_order_struct GPU_POWER_order = { { 0xA5, 0xA5 }, { 0x00, 0x00 }, 0x4E, 0x80, { 0xAE, 0xAE } };
AD_DA_order_struct AD_order = {};
AD_DA_order_struct DA_order = {};
QByteArray file_data;
file_update_struct file_update = { { 0xA6, 0xA6 }, {}, {}, {} };

namespace CommandFrames {

namespace {

void putLittleEndian16(uint8_t (&field)[2], quint16 value)
{
    field[0] = uint8_t(value & 0xFF);
    field[1] = uint8_t(value >> 8);
}

} // namespace

void setErase(APP_order_struct &frame, int spinBoxValue)
{
    frame = { { 0xA9, 0xA9 }, { 0x9A, uint8_t(spinBoxValue) } };
}

void setJump(APP_order_struct &frame, int spinBoxValue)
{
    frame = { { 0xA8, 0xA8 }, { 0x9B, uint8_t(spinBoxValue) } };
}

void setGpuPower(GPU_POWER_order_struct &frame, bool on)
{
    frame.GPU_ON_OFF = on ? gpuRailOn : gpuRailOff;
    frame.GPU_order[0] = GpuRail;
    frame.GPU_FAN_speed = on ? fanSpeedAfterPowerOn : fanSpeedAfterPowerOff;
}

void setPlotting(GPU_POWER_order_struct &frame, bool on)
{
    frame.GPU_order[0] = on ? GpuPlottingOn : GpuPlottingOff;
}

void setFanSpeed(GPU_POWER_order_struct &frame, int sliderPosition)
{
    frame.GPU_order[0] = GpuFanSpeed;
    frame.GPU_FAN_speed = uint8_t(sliderPosition);
}

void setRegisterInit(AD_DA_order_struct &frame, RegisterHeader header)
{
    frame.frame[0] = header.first;
    frame.frame[1] = header.second;
    frame.order[0] = 0x00;
    frame.order[1] = 0x00;
}

void setRegisterWrite(AD_DA_order_struct &frame, RegisterHeader header, quint16 address, quint16 value)
{
    frame.frame[0] = header.first;
    frame.frame[1] = header.second;
    frame.order[0] = 0x01;
    frame.order[1] = 0x00;
    putLittleEndian16(frame.addr, address);
    putLittleEndian16(frame.data, value);
}

} // namespace CommandFrames
