#ifndef COMMANDFRAMES_H
#define COMMANDFRAMES_H

#include <QByteArray>

#include <cstdint>

// Wire frames sent raw, byte for byte: the records must have no padding so that
// their bytes in memory are the bytes on the line.
#pragma pack(push, 1)

struct RESET_order_struct
{
    uint8_t frame[2];
    uint8_t order[6];
};

struct APP_order_struct
{
    uint8_t frame[2];
    uint8_t order[2];
};

struct GPU_POWER_order_struct
{
    uint8_t GPU_frame[2];
    uint8_t GPU_order[2];
    uint8_t GPU_ON_OFF;
    uint8_t GPU_FAN_speed;
    uint8_t GPU_deframe[2];
};

struct AD_DA_order_struct
{
    uint8_t frame[2];
    uint8_t order[2];
    uint8_t addr[2];
    uint8_t data[2];
};

struct file_update_struct
{
    uint8_t File_FRAME[2];
    uint8_t File_order[2];
    uint8_t File_offset[4];
    uint8_t File_data[32];
};

#pragma pack(pop)

static_assert(sizeof(RESET_order_struct) == 8, "reset frame is 8 bytes on the wire");
static_assert(sizeof(APP_order_struct) == 4, "erase/jump frame is 4 bytes on the wire");
static_assert(sizeof(GPU_POWER_order_struct) == 8, "GPU frame is 8 bytes on the wire");
static_assert(sizeof(AD_DA_order_struct) == 8, "register frame is 8 bytes on the wire");
static_assert(sizeof(file_update_struct) == 40, "update packet is 40 bytes on the wire");

// Process-wide frames: what a handler leaves in a field is what the next send of
// that frame carries, so they live as long as the process.
extern RESET_order_struct ARM_Reset;
extern APP_order_struct app_order;
extern GPU_POWER_order_struct GPU_POWER_order;
extern AD_DA_order_struct AD_order;
extern AD_DA_order_struct DA_order;
extern QByteArray file_data;
extern file_update_struct file_update;

namespace CommandFrames {

enum GpuSelector : uint8_t {
    GpuRail = 0x00,
    GpuPlottingOn = 0x01,
    GpuPlottingOff = 0x02,
    GpuFanSpeed = 0x03,
};

constexpr uint8_t gpuRailOn = 0x4E;
constexpr uint8_t gpuRailOff = 0x46;
constexpr uint8_t fanSpeedAfterPowerOn = 0x80;
constexpr uint8_t fanSpeedAfterPowerOff = 0x20;

struct RegisterHeader
{
    uint8_t first;
    uint8_t second;
};
constexpr RegisterHeader adHeader { 0x96, 0x53 };
constexpr RegisterHeader daHeader { 0x91, 0x22 };

void setErase(APP_order_struct &frame, int spinBoxValue);
void setJump(APP_order_struct &frame, int spinBoxValue);
void setGpuPower(GPU_POWER_order_struct &frame, bool on);
void setPlotting(GPU_POWER_order_struct &frame, bool on);
void setFanSpeed(GPU_POWER_order_struct &frame, int sliderPosition);
void setRegisterInit(AD_DA_order_struct &frame, RegisterHeader header);
void setRegisterWrite(AD_DA_order_struct &frame, RegisterHeader header, quint16 address, quint16 value);

template <typename Frame>
QByteArray frameBytes(const Frame &frame)
{
    return QByteArray(reinterpret_cast<const char *>(&frame), int(sizeof frame));
}

} // namespace CommandFrames

#endif // COMMANDFRAMES_H
