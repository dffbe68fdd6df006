#include "tests/common/LayerEndpoints.h"

#include <gtest/gtest.h>

std::unique_ptr<SAudioEndpointCollection> LayerEndpoints::Collection(SAudioClientLayer& Layer)
{
    std::unique_ptr<SAudioDeviceEnumerator> pEnumerator;
    std::unique_ptr<SAudioEndpointCollection> pCollection;
    EXPECT_GE(Layer.CreateDeviceEnumerator(pEnumerator), 0);
    if (pEnumerator == nullptr)
    {
        return nullptr;
    }
    EXPECT_GE(pEnumerator->EnumAudioEndpoints(pCollection), 0);
    return pCollection;
}

std::vector<LayerEndpoints::Entry> LayerEndpoints::Read(SAudioEndpointCollection& Collection)
{
    std::vector<Entry> Result;
    uint32_t uiCount = 0;
    EXPECT_GE(Collection.GetCount(&uiCount), 0);
    for (uint32_t i = 0; i < uiCount; ++i)
    {
        std::unique_ptr<SAudioEndpoint> pEndpoint;
        Entry Listed;
        EXPECT_GE(Collection.Item(i, pEndpoint), 0) << i;
        if (pEndpoint != nullptr)
        {
            EXPECT_GE(pEndpoint->GetId(Listed.Id), 0) << i;
            EXPECT_GE(pEndpoint->GetFriendlyName(Listed.Name, Listed.bIsText), 0) << i;
        }
        Result.push_back(Listed);
    }
    std::unique_ptr<SAudioEndpoint> pBeyond;
    EXPECT_LT(Collection.Item(uiCount, pBeyond), 0);
    return Result;
}

std::vector<LayerEndpoints::Entry> LayerEndpoints::List(SAudioClientLayer& Layer,
                                                        std::unique_ptr<SAudioEndpointCollection>* pKeep)
{
    std::unique_ptr<SAudioEndpointCollection> pCollection = Collection(Layer);
    if (pCollection == nullptr)
    {
        return {};
    }
    std::vector<Entry> Result = Read(*pCollection);
    if (pKeep != nullptr)
    {
        *pKeep = std::move(pCollection);
    }
    return Result;
}

std::vector<std::u16string> LayerEndpoints::Ids(const std::vector<Entry>& Endpoints)
{
    std::vector<std::u16string> Result;
    for (const Entry& Endpoint : Endpoints)
    {
        Result.push_back(Endpoint.Id);
    }
    return Result;
}

std::unique_ptr<SAudioClient> LayerEndpoints::Activate(SAudioClientLayer& Layer, uint32_t uiIndex)
{
    std::unique_ptr<SAudioEndpointCollection> pCollection = Collection(Layer);
    std::unique_ptr<SAudioEndpoint> pEndpoint;
    std::unique_ptr<SAudioClient> pClient;
    if (pCollection == nullptr)
    {
        return nullptr;
    }
    EXPECT_GE(pCollection->Item(uiIndex, pEndpoint), 0) << uiIndex;
    if (pEndpoint == nullptr)
    {
        return nullptr;
    }
    EXPECT_GE(pEndpoint->Activate(pClient), 0) << uiIndex;
    return pClient;
}
