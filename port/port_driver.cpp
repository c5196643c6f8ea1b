#include "port_driver.h"

#include "network_port.h"
#include "usb_port.h"

int NullSucceed(Port *) { return 1; }
int NullSucceed(Port *, void *, uint32_t *) { return 1; }
int NullSucceed(Port *, const void *, uint32_t *) { return 1; }
int NullZero(Port *) { return 0; }
Port *NullZero(void) { return nullptr; }

const PortDriver portDriver = {
    {
        {UsbPortOpen, UsbPortClose, UsbPortRead, UsbPortWrite},
        {NetworkPortOpen, NetworkPortClose, NetworkPortRead, NetworkPortWrite},
        {NullSucceed, NullSucceed, NullSucceed, NullSucceed},
    },
    {UsbPortCheck, NetworkPortCheck, NullZero},
    {UsbPortCreate, NetworkPortCreate, NullZero},
    {UsbPortDestroy, NetworkPortDestroy, NullSucceed},
};
