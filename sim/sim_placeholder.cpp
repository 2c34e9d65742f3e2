// Simulated instrument: filled in by the simulator work.
