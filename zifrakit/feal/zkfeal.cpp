// ZKFEAL: FEAL-8 over a text, result in the library's buffer memvolta.
#include "zifrakit/feal/feal.h"
#include "zifrakit/zifrakit.h"

namespace {

using zifrakit::FealBlock;
using zifrakit::FealSchedule;

FealBlock TR;  // the block handed to gmfeal
FealBlock RR;  // the block gmfeal produces
unsigned char memvolta[zifrakit::feal_result_size];

int gmfeal(const FealSchedule& schedule, short opera) {
  zifrakit::feal_block(schedule, TR, RR, opera);
  return 0;
}

}  // namespace

unsigned char* ZK_CALL ZKFEAL(unsigned char* texto, const unsigned char* clave, short opera) {
  zifrakit::feal_texto(texto, clave, opera, gmfeal, TR, RR, memvolta);
  return memvolta;
}
