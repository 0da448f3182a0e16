#!/usr/bin/env python3
"""Writes the campfire particle cache of examples/particle-cache.json.

A small stand-in for a simulation made in another tool: particles are born over the logs,
rise on their own heat (buoyancy that fades as they cool), are slowed towards the moving air
(drag) and stirred by a smooth turbulent wind. Most burn out as flames; some live on, cooled,
as smoke that the breeze carries to the right. Every particle's path is integrated in small
steps and written every few frames with its age, as the Particle File reader takes it.

Units are the scene's: world units and frames (30 per second). The output is deterministic:
the same arguments write the same file.

    python3 scripts/make_particle_cache.py                  # examples/particles/campfire.csv
    python3 scripts/make_particle_cache.py -o sim.csv --every 1 --rate 12
"""

import argparse
import math
import os
import random

# Emission: where flames start (over the crossing of the logs) and how fast.
BIRTH_CENTRE = (0.0, 2.0, 7.0)
BIRTH_SPREAD = (7.0, 6.0, 1.5)  # standard deviations in x, y, z
BIRTH_SPEED = (2.6, 0.6)  # upward speed: mean, standard deviation (units per frame)

# Life: every particle burns as flame for FLAME_LIFE frames; a share of them lives on as
# smoke until SMOKE_LIFE (means and standard deviations, frames).
FLAME_LIFE = (24.0, 3.0)
SMOKE_SHARE = 0.4
SMOKE_LIFE = (50.0, 8.0)

# Forces (units per frame squared unless said otherwise).
BUOYANCY = 0.22  # upward lift of a fresh particle
COOLING = 22.0  # frames for the lift to fall to 1/e
SMOKE_LIFT = 0.09  # lift that stays with the cooled, still warm smoke
DRAG = 0.07  # per frame: how quickly a particle takes the speed of the air around it
DRAW_IN = 0.003  # per frame squared: hot gas pulled in towards the fire's axis
BREEZE = (1.0, 0.15)  # air speed to the right and away from the camera high above the fire
BREEZE_HEIGHT = (25.0, 80.0)  # the breeze grows from nothing to full between these heights
TURBULENCE = 0.55  # air speed of the eddies (units per frame), growing with the height


def turbulence(x, y, z, t):
    """A smooth, time-varying air velocity: a few travelling waves, each swirling in its own
    plane, their amplitude growing with the height above the logs."""
    modes = (
        # wave vector (per unit), rising speed (units per frame), axis pair it swirls, phase
        ((0.050, 0.031, 0.070), 1.2, (0, 1), 0.3),
        ((0.093, -0.060, 0.110), 1.6, (1, 2), 1.7),
        ((-0.071, 0.102, 0.150), 2.1, (0, 2), 4.1),
        ((0.160, 0.130, -0.190), 0.9, (0, 1), 2.6),
    )
    u = [0.0, 0.0, 0.0]
    for (kx, ky, kz), rise, (a, b), phase in modes:
        s = kx * x + ky * y + kz * (z - rise * t) + phase
        w = 1.0 / math.sqrt(kx * kx + ky * ky + kz * kz)
        u[a] += math.sin(s) * w
        u[b] += math.cos(1.3 * s + phase) * w
    scale = TURBULENCE * min(2.0, 0.25 + max(0.0, z) / 60.0) / 25.0
    return u[0] * scale, u[1] * scale, u[2] * scale


def breeze(z):
    lo, hi = BREEZE_HEIGHT
    f = min(1.0, max(0.0, (z - lo) / (hi - lo)))
    f = f * f * (3.0 - 2.0 * f)
    return BREEZE[0] * f, BREEZE[1] * f


class Particle:
    def __init__(self, pid, birth, rng):
        self.id = pid
        self.birth = birth
        self.pos = [rng.gauss(c, s) for c, s in zip(BIRTH_CENTRE, BIRTH_SPREAD)]
        self.vel = [rng.gauss(0.0, 0.25), rng.gauss(0.0, 0.25), max(0.4, rng.gauss(*BIRTH_SPEED))]
        life = max(8.0, rng.gauss(*FLAME_LIFE))
        if rng.random() < SMOKE_SHARE:
            life = max(life + 10.0, rng.gauss(*SMOKE_LIFE))
        self.life = life

    def step(self, t, dt):
        age = t - self.birth
        x, y, z = self.pos
        wx, wy = breeze(z)
        tx, ty, tz = turbulence(x, y, z, t)
        air = (wx + tx, wy + ty, tz)
        heat = math.exp(-age / COOLING)
        acc = [DRAG * (air[k] - self.vel[k]) for k in range(3)]
        acc[0] -= DRAW_IN * heat * x
        acc[1] -= DRAW_IN * heat * (y - BIRTH_CENTRE[1])
        acc[2] += BUOYANCY * heat + SMOKE_LIFT * (1.0 - heat)
        for k in range(3):
            self.vel[k] += acc[k] * dt
            self.pos[k] += self.vel[k] * dt


def simulate(args):
    """The rows (frame, id, x, y, z, age) of every written frame, from 0 to args.frames."""
    rng = random.Random(args.seed)
    # Particles are born in batches on the written frames: the reader shows a particle only
    # between two written frames that both hold it, so one born in between would show late.
    batch = int(round(args.rate * args.every))
    dt = 1.0 / args.substeps
    rows, alive, next_id = [], [], 1
    for frame in range(-(args.warmup // args.every) * args.every, args.frames + 1):
        if frame % args.every == 0:
            for _ in range(batch):
                alive.append(Particle(next_id, frame, rng))
                next_id += 1
        alive = [p for p in alive if frame - p.birth <= p.life]
        if frame >= 0 and frame % args.every == 0:
            rows.extend((frame, p.id, *p.pos, frame - p.birth) for p in alive)
        for n in range(args.substeps):
            for p in alive:
                p.step(frame + n * dt, dt)
    return rows


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default_out = os.path.join(here, "..", "examples", "particles", "campfire.csv")
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("-o", "--output", default=os.path.normpath(default_out))
    ap.add_argument("--frames", type=int, default=60, help="last frame written (from 0)")
    ap.add_argument("--every", type=int, default=3, help="write every Nth frame")
    ap.add_argument("--rate", type=float, default=9.0, help="particles born per frame")
    ap.add_argument("--warmup", type=int, default=90, help="frames simulated before frame 0")
    ap.add_argument("--substeps", type=int, default=4, help="integration steps per frame")
    ap.add_argument("--seed", type=int, default=7)
    args = ap.parse_args()
    if args.every < 1 or args.substeps < 1 or args.frames < 0:
        ap.error("--every and --substeps must be at least 1, --frames at least 0")

    rows = simulate(args)
    with open(args.output, "w", newline="\n") as f:
        f.write("# Campfire flames and smoke by scripts/make_particle_cache.py: world units, "
                "frames at 30 per second, every %d frames.\n" % args.every)
        f.write("frame,id,x,y,z,age\n")
        for frame, pid, x, y, z, age in rows:
            f.write("%d,%d,%.1f,%.1f,%.1f,%d\n" % (frame, pid, x, y, z, age))
    print("%s: %d rows, %d particles" % (args.output, len(rows), len({r[1] for r in rows})))


if __name__ == "__main__":
    main()
