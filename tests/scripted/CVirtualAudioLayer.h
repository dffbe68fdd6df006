#pragma once
#include "output/SAudioClientLayer.h"
#include "tests/scripted/VirtualAudioDevice.h"
#include "tests/scripted/VirtualFaultScript.h"

#include <memory>
#include <mutex>
#include <vector>

// The virtual back end: a list of virtual devices in enumeration order, one of them the default.
// Its own operations (per-thread set-up, enumerator, enumeration) count their calls and can be made
// to fail like the devices' operations.
class CVirtualAudioLayer : public SAudioClientLayer, public VirtualFaultScript
{
public:
    CVirtualAudioLayer() : VirtualFaultScript(Mutex) {}

    // Appends an endpoint to the enumeration order.
    void AddDevice(std::shared_ptr<VirtualAudioDevice> pDevice);
    // Drops the endpoints that have vanished from the enumeration order (clients still holding one
    // keep it alive until they let go).
    void RemoveVanishedDevices();
    // The default endpoint; without one, the first active device is the default.
    void SetDefaultDevice(std::shared_ptr<VirtualAudioDevice> pDevice);

    int32_t InitializeThread() override;
    void UninitializeThread() override;
    int32_t CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator) override;

    // Used by the enumerator and collection views.
    int32_t EnterOperation(VirtualOperation Operation);
    std::vector<std::shared_ptr<VirtualAudioDevice>> GetActiveDevices() const;
    // Null when the default device is missing or has vanished.
    std::shared_ptr<VirtualAudioDevice> GetDefaultDevice() const;

private:
    mutable std::mutex Mutex;
    std::vector<std::shared_ptr<VirtualAudioDevice>> Devices;
    std::shared_ptr<VirtualAudioDevice> pDefaultDevice;
};
