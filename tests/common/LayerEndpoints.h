#pragma once
#include "output/SAudioClientLayer.h"
#include "output/SAudioDeviceEnumerator.h"
#include "output/SAudioEndpointCollection.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The endpoints of an audio-client layer as tests reach them: the collection its enumerator lists,
// every endpoint's id and name, and a client on one of them. A step that fails is a test failure
// (and an empty result), never a crash.
class LayerEndpoints
{
public:
    struct Entry
    {
        std::u16string Id;
        std::u16string Name;
        // -1 until the endpoint has said whether its name is text.
        int32_t bIsText = -1;
    };

    // The collection the layer's enumerator lists; null when a step failed.
    static std::unique_ptr<SAudioEndpointCollection> Collection(SAudioClientLayer& Layer);
    // Every endpoint of the collection, in its order; the index after the last must be refused.
    static std::vector<Entry> Read(SAudioEndpointCollection& Collection);
    // Every endpoint listed, as Read; pKeep, when given, receives the collection.
    static std::vector<Entry> List(SAudioClientLayer& Layer,
                                   std::unique_ptr<SAudioEndpointCollection>* pKeep = nullptr);
    // The ids of the entries, in their order.
    static std::vector<std::u16string> Ids(const std::vector<Entry>& Endpoints);
    // A client on listed endpoint uiIndex; null when a step failed.
    static std::unique_ptr<SAudioClient> Activate(SAudioClientLayer& Layer, uint32_t uiIndex);
};
