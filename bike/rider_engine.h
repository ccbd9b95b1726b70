#pragma once
// The engine as one rotating mass, a gearbox with optional automatic
// shifting, a clutch as a damped torsion spring whose strength follows its
// engagement, the chain drive to the rear wheel, and both disc brakes.
struct rider;
struct bike_model;

// Torque of the engine at rpm and throttle from the model's two curves,
// read linearly between their 500 rpm points and at the last point beyond.
float engine_curve_torque(const bike_model* m, float rpm, float throttle);
// Crank to rear axle: primary x gear x final drive.
float rider_total_ratio(const rider* r);
// The gear the automatic shift picks from the rear wheel's engine speed:
// one down below the downshift speed, one up above the upshift speed, never
// into a gear the model does not have.
int engine_auto_gear(const bike_model* m, int gear, float wheel_rpm);

float rider_engine_rpm(const rider* r);
// The engine torque now, with the wheelie cut when it applies.
float rider_engine_torque(const rider* r);
// The tick's shifting, clutch, engine and brake work.
void rider_engine_step(rider* r);
