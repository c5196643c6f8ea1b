// Faults the world arms and the model's calls take: "the n-th call from now fails".
#pragma once

namespace sim {

enum class Fault { allocation, threadCreation, displayContext, close, dialog, lateWait, count };

// Arms `fault` so that the nth call that asks for it (1 = the next one) fails.
void ArmFault(Fault fault, unsigned nth);
// True when this call is the one armed to fail; disarms the fault then. Every
// call counts towards CallsMade, armed or not.
bool TakeFault(Fault fault);
unsigned CallsMade(Fault fault);
void ClearFaults();

}  // namespace sim
