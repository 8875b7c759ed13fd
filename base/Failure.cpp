#include "Failure.h"

const char *FailureCodeName(FailureCode code)
{
    switch (code) {
    case FailureCode::None:
        return "";
        // archive/

        // formats/

        // signing/

        // apk/

        // bundle/
    }
    return "";
}
