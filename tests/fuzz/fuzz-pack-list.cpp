// What morvstub-pack --list and the packer make of arbitrary bytes given as
// an installer or stub: refusal with a message is fine, anything else that
// goes wrong (reads out of bounds, runaway loops) is not.
#include "Tools/morvstub-pack/pack-error.h"
#include "Tools/morvstub-pack/payload.cpp"
#include "Tools/morvstub-pack/pe-image.cpp"
#include "Tools/morvstub-pack/resource-tree.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pb, size_t cb)
{
    try {
        pe::Image const img(std::vector<uint8_t>(pb, pb + cb), "input");
        rsrc::Tree const tree = rsrc::read(img);
        // Whatever was read must lay out again.
        rsrc::Layout const lay = rsrc::layOut(tree, 0x1000);
        if (lay.head.size() > lay.size)
            __builtin_trap();
        for (ListedPackage const &p : ListPackages(tree))
            if (p.fileName.size() > 223 || p.dataName.size() > 27)
                __builtin_trap();
    } catch (const PackError &) {
    }
    return 0;
}
