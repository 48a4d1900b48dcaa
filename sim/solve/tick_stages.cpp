#include "sim/solve/tick_stages.h"

namespace {
StageListener stageListener = nullptr;
}

void setStageListener(StageListener listener)
{
    stageListener = listener;
}

void stageEnded(const char* stage)
{
    if (stageListener)
        stageListener(stage);
}
