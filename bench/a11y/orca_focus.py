#!/usr/bin/env python3
# Reads an Orca debug log from a given line on: for each Tab key Orca echoed, the object the focus went to and
# what Orca said before the next key; a focus change is announced when Orca moved its focus and said something.
import re
import sys

lines = open(sys.argv[1], encoding='utf-8', errors='replace').read().splitlines()
lines = lines[int(sys.argv[2]) if len(sys.argv) > 2 else 0:]
presses, current = [], None
for line in lines:
    if "SPEECH OUTPUT: 'tab '" in line:
        current = {'focus': None, 'speech': []}
        presses.append(current)
    elif current is not None and 'Changing locusOfFocus from' in line:
        current['focus'] = re.sub(r'.* to ', '', line).replace('. Notify: True', '')
    elif current is not None and 'SPEECH OUTPUT:' in line:
        current['speech'].append(re.sub(r".*SPEECH OUTPUT: '(.*?)'.*", r'\1', line))
announced = 0
for i, press in enumerate(presses, 1):
    spoken = press['focus'] is not None and bool(press['speech'])
    announced += spoken
    said = ' | '.join(press['speech'])[:160]
    print(f"{i:2} {'spoken' if spoken else 'SILENT'}  focus={press['focus']}  said={said}")
print(f'focus changes announced: {announced} of {len(presses)}')
