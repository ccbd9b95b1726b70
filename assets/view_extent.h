#pragma once
// Half the width and height of the view at distance 1, as the projection
// last set them: 2-D drawing (loading screen, menus, HUD) happens on the
// plane z = -1 from -view_xe to view_xe and -view_ye to view_ye.
extern float view_xe;
extern float view_ye;
