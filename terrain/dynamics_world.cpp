#include "terrain/dynamics_world.h"

#include "platform/log.h"

dWorldID dynamics_world = nullptr;
dJointGroupID contact_group = nullptr;

int dynamics_open() {
  if (dynamics_world || contact_group) {
    log_printf("The dynamics world is open already\n");
    return 0;
  }
  dInitODE2(0);
  dynamics_world = dWorldCreate();
  dWorldSetGravity(dynamics_world, 0.0, -32.0, 0.0);
  contact_group = dJointGroupCreate(0);
  return 1;
}

void dynamics_close() {
  if (!dynamics_world && !contact_group) return;
  if (contact_group) dJointGroupDestroy(contact_group);
  if (dynamics_world) dWorldDestroy(dynamics_world);
  contact_group = nullptr;
  dynamics_world = nullptr;
  dCloseODE();
}

int dynamics_step(double step) {
  if (!dynamics_world || !contact_group) {
    log_printf("Dynamics step without a world\n");
    return 0;
  }
  int stepped = dWorldStep(dynamics_world, step);
  dJointGroupEmpty(contact_group);
  if (!stepped) {
    log_printf("Dynamics step failed\n");
    return 0;
  }
  return 1;
}
