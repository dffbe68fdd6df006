#include "tests/scripted/CVirtualAudioLayer.h"

#include "tests/scripted/CVirtualDeviceEnumerator.h"

#include <new>
#include <utility>
#include <vector>

void CVirtualAudioLayer::AddDevice(std::shared_ptr<VirtualAudioDevice> pDevice)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    Devices.push_back(std::move(pDevice));
}

void CVirtualAudioLayer::RemoveVanishedDevices()
{
    std::lock_guard<std::mutex> Lock(Mutex);
    std::erase_if(Devices, [](const std::shared_ptr<VirtualAudioDevice>& pDevice)
                  { return pDevice->IsActive() == 0; });
}

void CVirtualAudioLayer::SetDefaultDevice(std::shared_ptr<VirtualAudioDevice> pDevice)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    pDefaultDevice = std::move(pDevice);
}

int32_t CVirtualAudioLayer::InitializeThread()
{
    return EnterOperation(VirtualOperation::InitializeThread);
}

void CVirtualAudioLayer::UninitializeThread()
{
    EnterOperation(VirtualOperation::UninitializeThread);
}

int32_t CVirtualAudioLayer::CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator)
{
    pEnumerator.reset();
    const int32_t iResult = EnterOperation(VirtualOperation::CreateDeviceEnumerator);
    if (iResult < 0)
    {
        return iResult;
    }
    pEnumerator.reset(new (std::nothrow) CVirtualDeviceEnumerator(this));
    return pEnumerator != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}

int32_t CVirtualAudioLayer::EnterOperation(VirtualOperation Operation)
{
    std::lock_guard<std::mutex> Lock(Mutex);
    return Faults.Enter(Operation);
}

std::vector<std::shared_ptr<VirtualAudioDevice>> CVirtualAudioLayer::GetActiveDevices() const
{
    std::lock_guard<std::mutex> Lock(Mutex);
    std::vector<std::shared_ptr<VirtualAudioDevice>> Active;
    for (const auto& pDevice : Devices)
    {
        if (pDevice->IsActive() != 0)
        {
            Active.push_back(pDevice);
        }
    }
    return Active;
}

std::shared_ptr<VirtualAudioDevice> CVirtualAudioLayer::GetDefaultDevice() const
{
    std::lock_guard<std::mutex> Lock(Mutex);
    if (pDefaultDevice != nullptr)
    {
        return pDefaultDevice->IsActive() != 0 ? pDefaultDevice : nullptr;
    }
    for (const auto& pDevice : Devices)
    {
        if (pDevice->IsActive() != 0)
        {
            return pDevice;
        }
    }
    return nullptr;
}
