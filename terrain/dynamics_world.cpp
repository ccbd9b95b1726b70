#include "terrain/dynamics_world.h"

#include "platform/log.h"

dWorldID dynamics_world = nullptr;
dJointGroupID contact_group = nullptr;
void (*dynamics_step_watch)() = nullptr;

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
  if (dynamics_step_watch) dynamics_step_watch();
  int stepped = dWorldStep(dynamics_world, step);
  dJointGroupEmpty(contact_group);
  if (!stepped) {
    log_printf("Dynamics step failed\n");
    return 0;
  }
  return 1;
}

thread_local contact_batch* contact_recording = nullptr;

static void make_contact(const dContact* c, dBodyID body1, dBodyID body2, dJointFeedback* feedback) {
  dJointID j = dJointCreateContact(dynamics_world, contact_group, c);
  dJointAttach(j, body1, body2);
  if (feedback) dJointSetFeedback(j, feedback);
}

void dynamics_add_contact(const dContact* c, dBodyID body1, dBodyID body2, dJointFeedback* feedback) {
  if (contact_batch* b = contact_recording) {
    contact_op op = {};
    op.kind = contact_op::add_joint;
    op.contact = *c;
    op.body1 = body1;
    op.body2 = body2;
    op.feedback = feedback;
    b->ops.push_back(op);
    return;
  }
  make_contact(c, body1, body2, feedback);
}

void dynamics_add_force(dBodyID body, dReal fx, dReal fy, dReal fz) {
  if (contact_batch* b = contact_recording) {
    contact_op op = {};
    op.kind = contact_op::add_force;
    op.body1 = body;
    op.force[0] = fx;
    op.force[1] = fy;
    op.force[2] = fz;
    b->ops.push_back(op);
    return;
  }
  dBodyAddForce(body, fx, fy, fz);
}

void dynamics_add_force_at(dBodyID body, dReal fx, dReal fy, dReal fz, dReal px, dReal py, dReal pz) {
  if (contact_batch* b = contact_recording) {
    contact_op op = {};
    op.kind = contact_op::add_force_at;
    op.body1 = body;
    op.force[0] = fx;
    op.force[1] = fy;
    op.force[2] = fz;
    op.at[0] = px;
    op.at[1] = py;
    op.at[2] = pz;
    b->ops.push_back(op);
    return;
  }
  dBodyAddForceAtPos(body, fx, fy, fz, px, py, pz);
}

void contact_batch_replay(contact_batch* batch) {
  for (const contact_op& op : batch->ops) switch (op.kind) {
      case contact_op::add_joint:
        make_contact(&op.contact, op.body1, op.body2, op.feedback);
        break;
      case contact_op::add_force:
        dBodyAddForce(op.body1, op.force[0], op.force[1], op.force[2]);
        break;
      case contact_op::add_force_at:
        dBodyAddForceAtPos(op.body1, op.force[0], op.force[1], op.force[2], op.at[0], op.at[1], op.at[2]);
        break;
    }
  batch->ops.clear();
}
