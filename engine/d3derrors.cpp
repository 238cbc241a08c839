// Reason texts for Direct3D results, as the log shows them.
#include <cstdint>

#include "log.h"

namespace {

struct ReasonText {
    uint32_t result;
    const char* text;
};

const ReasonText kReasons[] = {
    {0x00000000, "Direct3D: No error occurred."},
    {0x80004005, "Direct3D: An undetermined error occurred inside the Direct3D subsystem."},
    {0x8007000E, "Direct3D: Direct3D could not allocate sufficient memory to complete the call."},
    {0x80070057, "Direct3D: An invalid parameter was passed to the returning function."},
    {0x8876017C, "Direct3D: Direct3D does not have enough display memory to perform the operation. "},
    {0x88760818, "Direct3D: The pixel format of the texture surface is not valid."},
    {0x88760819,
     "Direct3D: The device does not support a specified texture-blending operation for color values."},
    {0x8876081A,
     "Direct3D: The device does not support a specified texture-blending argument for color values."},
    {0x8876081B,
     "Direct3D: The device does not support a specified texture-blending operation for the alpha "
     "channel."},
    {0x8876081C,
     "Direct3D: The device does not support a specified texture-blending argument for the alpha "
     "channel."},
    {0x8876081D,
     "Direct3D: The application is requesting more texture-filtering operations than the device "
     "supports."},
    {0x8876081E, "Direct3D: The current texture filters cannot be used together."},
    {0x8876081F, "Direct3D: The device does not support the specified texture factor value."},
    {0x88760821, "Direct3D: The currently set render states cannot be used together."},
    {0x88760822, "Direct3D: The device does not support the specified texture filter."},
    {0x88760826,
     "Direct3D: The current textures cannot be used simultaneously. This generally occurs when a "
     "multitexture device requires that all palletized textures simultaneously enabled also share "
     "the same palette."},
    {0x88760827, "Direct3D: Internal driver error."},
    {0x88760866, "Direct3D: The requested item was not found."},
    {0x88760867, "Direct3D: There is more data available than the specified buffer size can hold."},
    {0x88760868,
     "Direct3D: The device is lost and cannot be restored at the current time, so rendering is not "
     "possible."},
    {0x88760869, "Direct3D: The device cannot be reset."},
    {0x8876086A, "Direct3D: This device does not support the queried technique."},
    {0x8876086B, "Direct3D: The requested device type is not valid."},
    {0x8876086C,
     "Direct3D: The method call is invalid. For example, a method's parameter may have an invalid "
     "value."},
};

}  // namespace

std::string getD3DErrorText(HRESULT result) {
    for (const ReasonText& reason : kReasons) {
        if (reason.result == static_cast<uint32_t>(result)) return reason.text;
    }
    // The spelling is the one users of the engine have always seen in their logs.
    return "Direct3D: An unknow error occurred.";
}
