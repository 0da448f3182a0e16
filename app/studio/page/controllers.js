// Controllers: the "Particle Age" roll-up with its controller buttons, the Controllers
// dialog and the controller's editor.

// The "Particle Age" roll-up of helper `h` (a helper answer of the API), or null while there
// is none to show.
export function particleAgeRollup(h) {
  return null;
}
