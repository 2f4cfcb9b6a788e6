// The texts of the host's audio and driver error codes.
#include <cstdint>
#include <iterator>

#include "diag/os_error.h"

namespace vextrel {
namespace {

struct OSErrorEntry {
    int32_t code;
    const char* text;
};

// Every known code with its text, in descending code order.
constexpr OSErrorEntry kOSErrorTexts[] = {
    {0, "Success"},
    {-1178, "Card Has Broken Fan"},
    {-6001, "Unsupported"},
    {-6002, "NoKelvoInit"},
    {-6003, "Link"},
    {-6004, "DSP Error"},
    {-6005, "No IODriver"},
    {-6006, "Bad Device"},
    {-6007, "Bad Stream"},
    {-6008, "Not Enough Memory"},
    {-6009, "Device Not Acquired"},
    {-6010, "Device Already Acquired"},
    {-6011, "Device Not Available"},
    {-6012, "Bad Record"},
    {-6013, "Client Too Slow"},
    {-6014, "Callback Not Defined"},
    {-6015, "Device Already Primed"},
    {-6016, "Device Already Started"},
    {-6017, "Device Not Started"},
    {-6018, "Device Not Primed"},
    {-6019, "Bad Sample Size"},
    {-6020, "Resource Error"},
    {-6021, "DCM Send Message Error"},
    {-6022, "DCM Get Message Error"},
    {-6023, "Bad TOD Chans"},
    {-6024, "Bad TDM Flags Chan"},
    {-6025, "Bad TDM Velocity Chan"},
    {-6026, "Bad Velocity"},
    {-6027, "Too Many VTrack Switches"},
    {-6028, "DSP Cant Flush Events"},
    {-6029, "No Sample Clock"},
    {-6030, "Unsupported Format"},
    {-6031, "Too Many Interrupts"},
    {-6032, "Invalid Stream Output"},
    {-6033, "Invalid Stream Input"},
    {-6034, "Failed Reading Overviews"},
    {-6035, "Failed Send Track Events"},
    {-6036, "DSP Stop Error"},
    {-6037, "Input Meters Error"},
    {-6038, "Free Stream Buf Error"},
    {-6039, "DePrime Error"},
    {-6040, "Enable IO Error"},
    {-6041, "Disable IO Error"},
    {-6042, "DSP Audio Underrun"},
    {-6043, "DSP Fatal Error"},
    {-6044, "DSP Spurious Interrupt"},
    {-6045, "DSP Sample Int Reentered"},
    {-6046, "DSP IO Transfer Too Long"},
    {-6047, "Physical Mem Error"},
    {-6048, "DCM Acknowledge Error"},
    {-6049, "Too Many TDM Outputs"},
    {-6050, "Too Few TDM Outputs"},
    {-6068, "Unknown DSP Error"},
    {-6069, "Device Already Initialized"},
    {-6070, "Prime Overwrite Error"},
    {-6071, "Too Many Slot Int Sources"},
    {-6072, "Driver Assert Error"},
    {-6073, "No Data Available"},
    {-6074, "Client Access Lockout Error"},
    {-6075, "Deadband Overrun Error"},
    {-6077, "Bad Aux Channel"},
    {-6078, "Nested Prepare"},
    {-6079, "Non-Zero Aux Channel"},
    {-6080, "Device Disconnected"},
    {-6081, "Device Connected"},
    {-6082, "Device Stream Error"},
    {-6083, "Device StandAlone"},
    {-6084, "Device Overflow"},
    {-6085, "Device Underflow"},
    {-6086, "Device Sequence Error"},
    {-6087, "Device CRC Error"},
    {-6088, "Listener Frame Error"},
    {-6089, "Talker Frame Error"},
    {-6090, "Bus Reset Error"},
    {-6091, "Re-enter Interrupt Error"},
    {-6092, "Listener Underrun"},
    {-6093, "Listener Sequence Error"},
    {-6094, "Listener Stream Error"},
    {-6095, "Sample Out Of Range"},
    {-6096, "Invalid Data Received"},
    {-6101, "Core Audio Overload"},
    {-6116, "Native PIO Sync Error"},
    {-6123, "AVB Streaming Error"},
    {-9013, "Null Object"},
    {-9060, "Format Mismatch Assert"},
    {-9073, "Disk Too Slow"},
    {-9093, "DSP Underrun"},
    {-9129, "Interrupt Too Long"},
    {-9171, "Quenby Streaming Error"},
    {-9173, "Packet Underrun"},
    {-9184, "Possible System Hang Detected"},
    {-9403, "Elastic CPU Overload"},
    {-9416, "Elastic Invalid State"},
    {-9735, "Beyond Playable Range"},
};

static_assert(std::size(kOSErrorTexts) == 94);

}  // namespace

const char* OSErrorText(int32_t code) {
    for (const OSErrorEntry& entry : kOSErrorTexts) {
        if (entry.code == code) return entry.text;
    }
    return kUnknownOSErrorText;
}

}  // namespace vextrel
