// ZKFEAL2: ZKFEAL's twin that writes into the caller's area and shares none of its storage.
#include "zifrakit/feal/feal.h"
#include "zifrakit/zifrakit.h"

namespace {

using zifrakit::FealBlock;
using zifrakit::FealSchedule;

FealBlock TR2;  // the block handed to gmfeal2
FealBlock RR2;  // the block gmfeal2 produces

int gmfeal2(const FealSchedule& schedule, short opera) {
  zifrakit::feal_block(schedule, TR2, RR2, opera);
  return 0;
}

}  // namespace

int ZK_CALL ZKFEAL2(unsigned char* texto, const unsigned char* clave, short opera,
                    unsigned char* retorno) {
  zifrakit::feal_texto(texto, clave, opera, gmfeal2, TR2, RR2, retorno);
  return 0;
}
