#!/usr/bin/python3
"""usage: metrics_client.py get URL | status BASE [METHOD PATH]... | query URL PROMQL |
idle PORT N SECONDS. query prints each series sorted (labels as JSON, value)."""
import json, socket, sys, time, urllib.error, urllib.parse, urllib.request

command, args = sys.argv[1], sys.argv[2:]
if command == "get":
    with urllib.request.urlopen(args[0], timeout=5) as reply:
        sys.stdout.buffer.write(reply.read())
elif command == "status":
    for method, path in zip(args[1::2], args[2::2]):
        request = urllib.request.Request(args[0] + path, method=method)
        try:
            with urllib.request.urlopen(request, timeout=5) as reply:
                print(reply.status, reply.headers.get("Allow"))
        except urllib.error.HTTPError as error:
            print(error.code, error.headers.get("Allow"))
elif command == "query":
    url = args[0] + "/api/v1/query?" + urllib.parse.urlencode({"query": args[1]})
    with urllib.request.urlopen(url, timeout=5) as reply:
        lines = [json.dumps(series["metric"], sort_keys=True) + " " + series["value"][1]
                 for series in json.load(reply)["data"]["result"]]
    print("".join(line + "\n" for line in sorted(lines)), end="")
elif command == "idle":
    held = []
    for _ in range(int(args[1])):
        try:
            held.append(socket.create_connection(("127.0.0.1", int(args[0])), timeout=2))
        except OSError:
            pass
    print(len(held), flush=True)
    time.sleep(float(args[2]))
