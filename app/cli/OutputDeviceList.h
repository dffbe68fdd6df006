#pragma once
#include "output/SAudioEndpoint.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

class SAudioClientLayer;

// The output endpoints as larkspur-cli shows and finds them: the default endpoint as index -1, then
// every endpoint in the order the player numbers them, each with its name and identifier (UTF-8).
class OutputDeviceList
{
public:
    struct Entry
    {
        int32_t iIndex = -1;
        std::string Name;
        std::string Id;
        std::unique_ptr<SAudioEndpoint> pEndpoint;
        // The identifier as the endpoint gives it (UTF-16), which the player's device list keeps.
        std::u16string WideId;
        // The name could be read ("Unknown" stands for one that is not text or could not be read;
        // the player's device list leaves out the latter).
        bool bNameRead = false;
    };

    // Lists the layer's endpoints; the calling thread must be prepared for the layer. 1 listed
    // (possibly nothing); -1 the layer has no enumerator.
    int32_t Load(SAudioClientLayer& Layer);

    std::vector<Entry>& GetEntries() { return Entries; }
    // The entry of the endpoint iIndex (-1 the default); null when none is listed.
    const Entry* EntryOf(int32_t iIndex) const;
    // The endpoints besides the default one.
    uint32_t CountEndpoints() const;

    // The endpoint index Device means: a whole number -1 ... count - 1, an identifier, a name, or a
    // part of a name or identifier (any case) that fits exactly one endpoint. False with Problem
    // saying so, followed by the whole list.
    bool Find(const std::string& Device, int32_t& iIndex, std::string& Problem) const;

    // The header line and a line per entry, names padded to one width.
    void Print(std::ostream& Out) const;
    // "  index  name  identifier", and one entry's line, as Print writes them (without line ends).
    std::string HeaderLine() const;
    std::string LineOf(const Entry& Item) const;

private:
    size_t NameColumns() const;

    std::vector<Entry> Entries;
};
